@echo off
rem Tally Reminder: started with Windows, reminds of sheets left open.
if exist "%~dp0cache\*.tmp" echo Tally: some sheets were left open.
