echo Installing the demo product
msiexec /i setup.msi /qn
echo msiexec exit code %ERRORLEVEL%
