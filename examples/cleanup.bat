rem Removes the sheets Tally caches before the uninstaller deletes its files.
if exist "%InstallDir%\cache\*.tmp" del "%InstallDir%\cache\*.tmp"
