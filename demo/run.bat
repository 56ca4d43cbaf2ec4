@echo off
rem Installs the Kelvor Demo silently. Everything echoed here ends up in unpack.log.txt beside
rem the stub's log; the exit code is msiexec's, so the stub's log shows how it went.
echo Kelvor Demo setup: checking the system
PreVerCheck.exe
if errorlevel 1 (
  echo Kelvor Demo setup: this system is not supported, nothing installed
  exit 1
)
echo Kelvor Demo setup: installing setup.msi silently
msiexec /i setup.msi /qn /l*v "%TEMP%\KelvorDemo-msi.log"
set code=%ERRORLEVEL%
echo Kelvor Demo setup: msiexec exit code %code%
exit %code%
