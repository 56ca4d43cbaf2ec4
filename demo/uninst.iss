[InstallShield Silent]
Version=v7.00
File=Response File
[File Transfer]
OverwrittenReadOnly=NoToAll
[{AC910264-E724-4B58-824C-B9D798A957E3}-DlgOrder]
Dlg0={AC910264-E724-4B58-824C-B9D798A957E3}-MessageBox-0
Count=2
Dlg1={AC910264-E724-4B58-824C-B9D798A957E3}-SdFinish-0
[{AC910264-E724-4B58-824C-B9D798A957E3}-MessageBox-0]
Result=6
[Application]
Name=Kelvor Demo
Version=1.0.0
Company=Kelvor
Lang=0409
[{AC910264-E724-4B58-824C-B9D798A957E3}-SdFinish-0]
Result=1
bOpt1=0
bOpt2=0
