# Builds the VM on this Hyper-V host from the files beside this script.
$ErrorActionPreference = 'Stop'
$VMName = 'rhel9'
$Folder = $PSScriptRoot
New-VM -Name $VMName -Generation 2 -MemoryStartupBytes 4096MB -NoVHD -Path $Folder | Out-Null
Set-VMProcessor -VMName $VMName -Count 2
Get-VMDvdDrive -VMName $VMName | Remove-VMDvdDrive
Get-VMNetworkAdapter -VMName $VMName | Remove-VMNetworkAdapter
Add-VMHardDiskDrive -VMName $VMName -ControllerType SCSI -ControllerNumber 0 -ControllerLocation 1 -Path (Join-Path $Folder 'rhel9-data.img')
Add-VMHardDiskDrive -VMName $VMName -ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0 -Path (Join-Path $Folder 'rhel9-os.img')
Add-VMNetworkAdapter -VMName $VMName -Name 'eth0' -SwitchName 'prod' -StaticMacAddress '525400123456'
Add-VMNetworkAdapter -VMName $VMName -Name 'eth1' -SwitchName 'backup'
Set-VMFirmware -VMName $VMName -FirstBootDevice (Get-VMHardDiskDrive -VMName $VMName -ControllerType SCSI -ControllerNumber 0 -ControllerLocation 0)
Set-VMFirmware -VMName $VMName -EnableSecureBoot On
Set-VMFirmware -VMName $VMName -SecureBootTemplate 'MicrosoftUEFICertificateAuthority'
