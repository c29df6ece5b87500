@echo off
rem Tally: adds up the numbers of a sheet, one number a line.
if "%~1"=="" (
  echo usage: tally SHEET.tly
  exit /b 1
)
set /a total=0
for /f "usebackq eol=; tokens=1" %%n in ("%~1") do set /a total+=%%n
echo %~n1: %total%
