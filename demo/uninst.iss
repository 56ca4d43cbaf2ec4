[InstallShield Silent]
Version=v7.00
File=Response File
[Application]
Name=Demo Product
