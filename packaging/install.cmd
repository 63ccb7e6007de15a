@echo off
rem Installs the zonbek service from this folder: install.cmd "C:\folder\of\the\Zonbek tool"
rem Run from an elevated command prompt. See admin-guide.txt for the exit codes.
setlocal

set "SERVICE=zonbek"
set "SOURCE=KavixZonbek"
set "CONFIG_KEY=HKLM\Software\Kavix\Zonbek"
set "SOURCE_KEY=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\KavixZonbek"
set "SC=%SystemRoot%\System32\sc.exe"
set "REG=%SystemRoot%\System32\reg.exe"
set "HERE=%~dp0"

echo Zonbek service @PROJECT_VERSION@ installation

if "%~1"=="" goto usage
if "%~1"=="/?" goto usage
if not "%~2"=="" goto usage

rem fltmc and net session both need an elevated token on Windows; Wine's net accepts any word.
"%SystemRoot%\System32\fltmc.exe" >nul 2>&1
if not errorlevel 1 goto admin
"%SystemRoot%\System32\net.exe" session >nul 2>&1
if not errorlevel 1 goto admin
>&2 echo install.cmd: this needs administrator rights. Open the command prompt with "Run as administrator" and run install.cmd again.
exit /b 2
:admin

rem No trailing backslash, a drive root's included (D:\ gives D:): the service adds one before zonbek.exe.
for %%d in ("%~1") do set "TOOL_DIR=%%~fd"
:trim
if not "%TOOL_DIR:~-1%"=="\" goto trimmed
set "TOOL_DIR=%TOOL_DIR:~0,-1%"
goto trim
:trimmed

if exist "%TOOL_DIR%\" goto dir_found
rem Wine's cmd finds no drive root with a trailing backslash (C:\); a root holds at least zonbek.exe.
if exist "%TOOL_DIR%\*" goto dir_found
>&2 echo install.cmd: the folder "%TOOL_DIR%" does not exist. Give the folder where zonbek.exe is installed.
exit /b 3
:dir_found
if exist "%TOOL_DIR%\zonbek.exe" goto tool_found
>&2 echo install.cmd: there is no zonbek.exe in "%TOOL_DIR%". Give the folder where zonbek.exe is installed.
exit /b 4
:tool_found
rem The folder's permissions are not changed here: the service checks them at every start and refuses a
rem tool that others than administrators can change (admin-guide.txt, "The check of the tool's folder").

if not exist "%HERE%zonbeksvc.exe" goto package_incomplete
if not exist "%HERE%zonbekmsg.dll" goto package_incomplete
goto package_complete
:package_incomplete
>&2 echo install.cmd: zonbeksvc.exe and zonbekmsg.dll must be in "%HERE%" beside install.cmd. Unpack the whole package again.
exit /b 5
:package_complete

"%SC%" query %SERVICE% >nul 2>&1
if errorlevel 1 goto new_service
>&2 echo install.cmd: the service %SERVICE% already exists; nothing was changed. To install it again, run uninstall.cmd first.
exit /b 6
:new_service

rem binPath is quoted inside so that a path with spaces cannot be read as a shorter program name.
rem The path stands outside cmd's quotes there, so its ^ and & are escaped for cmd.
set "BIN=%HERE%zonbeksvc.exe"
set "BIN_ARG=%BIN:^=^^%"
set "BIN_ARG=%BIN_ARG:&=^&%"
"%SC%" create %SERVICE% binPath= "\"%BIN_ARG%\"" type= own start= auto DisplayName= "Zonbek service"
if errorlevel 1 goto failed

rem /reg:64 writes where the 64-bit service reads, also from a 32-bit command prompt.
"%REG%" add "%CONFIG_KEY%" /v InstallDir /t REG_SZ /d "%TOOL_DIR%" /f /reg:64 >nul
if errorlevel 1 goto failed
"%REG%" add "%SOURCE_KEY%" /v EventMessageFile /t REG_EXPAND_SZ /d "%HERE%zonbekmsg.dll" /f >nul
if errorlevel 1 goto failed
"%REG%" add "%SOURCE_KEY%" /v TypesSupported /t REG_DWORD /d 7 /f >nul
if errorlevel 1 goto failed

echo Installed the service %SERVICE%: "%BIN%"
echo   tool folder (InstallDir): "%TOOL_DIR%"
echo   event source %SOURCE% (Application log): "%HERE%zonbekmsg.dll"
echo Start it with: sc start %SERVICE%
exit /b 0

:failed
>&2 echo install.cmd: the step above failed, so the installation is incomplete. Run uninstall.cmd to remove what was installed, fix the cause and run install.cmd again.
exit /b 7

:usage
echo Usage: install.cmd "C:\folder\of\the\Zonbek tool"
echo Installs the service %SERVICE% from "%HERE%" and registers its event source %SOURCE%.
echo The folder must hold zonbek.exe. Run from an elevated command prompt.
exit /b 1
