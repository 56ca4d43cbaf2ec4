; The peer for the end-to-end comparisons: an NSIS installer doing the stub's job with the same
; files (every file of the payload folder). Stored without compression, extracted to
; $TEMP\unpack, run.bat run hidden and waited for, the folder deleted. CRCCheck stays at its
; default (on), as a shipped installer has it.
; makensis -DPAYLOAD=dir -DOUTFILE=file installer.nsi
Unicode true
!ifdef TARGET
  Target ${TARGET}  ; amd64-unicode beside the stub's build for 64-bit Windows
!endif
SetCompress off
SilentInstall silent
RequestExecutionLevel user
Name "bench"
OutFile "${OUTFILE}"

Section
  SetOutPath "$TEMP\unpack"
  File "${PAYLOAD}/*"
  nsExec::Exec '"$SYSDIR\cmd.exe" /c run.bat'
  Pop $0
  SetOutPath "$TEMP"
  RMDir /r "$TEMP\unpack"
SectionEnd
