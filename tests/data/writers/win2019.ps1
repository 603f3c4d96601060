# Builds the VM on this Hyper-V host from the files beside this script.
$ErrorActionPreference = 'Stop'
$VMName = 'win2019'
$Folder = $PSScriptRoot
New-VM -Name $VMName -Generation 1 -MemoryStartupBytes 8192MB -NoVHD -Path $Folder | Out-Null
Set-VMProcessor -VMName $VMName -Count 4
Get-VMDvdDrive -VMName $VMName | Remove-VMDvdDrive
Get-VMNetworkAdapter -VMName $VMName | Remove-VMNetworkAdapter
Add-VMScsiController -VMName $VMName
Add-VMHardDiskDrive -VMName $VMName -ControllerType IDE -ControllerNumber 0 -ControllerLocation 0 -Path (Join-Path $Folder 'win2019.vhdx')
Add-VMHardDiskDrive -VMName $VMName -ControllerType SCSI -ControllerNumber 0 -ControllerLocation 1 -Path (Join-Path $Folder 'win2019_1.vhdx')
Add-VMDvdDrive -VMName $VMName -ControllerNumber 1 -ControllerLocation 0
Add-VMNetworkAdapter -VMName $VMName -Name 'Network adapter 1' -SwitchName 'LAN' -StaticMacAddress '005056010203'
Set-VMBios -VMName $VMName -StartupOrder @('IDE', 'CD', 'LegacyNetworkAdapter', 'Floppy')
