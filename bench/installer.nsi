; The peer for the end-to-end comparison: an NSIS installer doing the stub's job with the same
; five files. Stored without compression, extracted to $TEMP\unpack, run.bat run hidden and
; waited for, the folder deleted. CRCCheck stays at its default (on), as a shipped installer has it.
; makensis -DPAYLOAD=dir -DOUTFILE=file installer.nsi
Unicode true
SetCompress off
SilentInstall silent
RequestExecutionLevel user
Name "bench"
OutFile "${OUTFILE}"

Section
  SetOutPath "$TEMP\unpack"
  File "${PAYLOAD}/setup.msi"
  File "${PAYLOAD}/run.bat"
  File "${PAYLOAD}/setup.ini"
  File "${PAYLOAD}/helper.dat"
  File "${PAYLOAD}/uninst.iss"
  nsExec::Exec '"$SYSDIR\cmd.exe" /c run.bat'
  Pop $0
  SetOutPath "$TEMP"
  RMDir /r "$TEMP\unpack"
SectionEnd
