@echo off
rem Stops and removes the zonbek service and its event source: uninstall.cmd [seconds to wait, 30]
rem Run from an elevated command prompt. See admin-guide.txt for the exit codes.
setlocal

set "SERVICE=zonbek"
set "SOURCE=KavixZonbek"
set "CONFIG_KEY=HKLM\Software\Kavix\Zonbek"
set "SOURCE_KEY=HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\KavixZonbek"
set "SC=%SystemRoot%\System32\sc.exe"
set "REG=%SystemRoot%\System32\reg.exe"
set "FIND=%SystemRoot%\System32\find.exe"

echo Zonbek service @PROJECT_VERSION@ removal

set "WAIT=30"
if "%~1"=="/?" goto usage
if not "%~2"=="" goto usage
if not "%~1"=="" set "WAIT=%~1"
set /a "WAIT_NUMBER=WAIT" 2>nul
if not "%WAIT_NUMBER%"=="%WAIT%" goto usage

rem fltmc and net session both need an elevated token on Windows; Wine's net accepts any word.
"%SystemRoot%\System32\fltmc.exe" >nul 2>&1
if not errorlevel 1 goto admin
"%SystemRoot%\System32\net.exe" session >nul 2>&1
if not errorlevel 1 goto admin
>&2 echo uninstall.cmd: this needs administrator rights. Open the command prompt with "Run as administrator" and run uninstall.cmd again.
exit /b 2
:admin

call :state
if "%STATE%"=="" (
    echo The service %SERVICE% is not installed.
    goto event_source
)
if "%STATE%"=="stopped" goto stopped
echo Stopping the service %SERVICE%, waiting up to %WAIT% seconds...
set /a "LEFT=WAIT"
:wait
if "%STATE%"=="stopped" goto stopped
if "%STATE%"=="" goto stopped
rem Only a running service takes a stop: one that is stop pending refuses another, one that is start
rem pending refuses it until it runs.
if "%STATE%"=="running" "%SC%" stop %SERVICE% >nul
if %LEFT% leq 0 goto not_stopped
rem ping is the pause that every Windows has and that works without a console for input.
"%SystemRoot%\System32\ping.exe" -n 2 127.0.0.1 >nul
set /a "LEFT-=1"
call :state
goto wait

:not_stopped
if "%STATE%"=="stop_pending" (
    >&2 echo uninstall.cmd: the service %SERVICE% is still stopping: the tool zonbek.exe has not ended after Ctrl+C. Nothing was removed. Wait for the tool, or end it with "taskkill /im zonbek.exe /f", then run uninstall.cmd again.
) else (
    >&2 echo uninstall.cmd: the service %SERVICE% did not stop. Nothing was removed. Stop it with "sc stop %SERVICE%" and run uninstall.cmd again.
)
exit /b 8

:stopped
if "%STATE%"=="" goto deleted
"%SC%" delete %SERVICE% >nul
if errorlevel 1 goto failed
:deleted
echo Removed the service %SERVICE%.

:event_source
"%REG%" query "%SOURCE_KEY%" >nul 2>&1
if errorlevel 1 (
    echo The event source %SOURCE% is not registered.
    goto install_dir
)
"%REG%" delete "%SOURCE_KEY%" /f >nul
if errorlevel 1 goto failed
echo Removed the event source %SOURCE%.

:install_dir
"%REG%" query "%CONFIG_KEY%" /v InstallDir /reg:64 >nul 2>&1
if errorlevel 1 goto done
"%REG%" delete "%CONFIG_KEY%" /v InstallDir /f /reg:64 >nul
if errorlevel 1 goto failed
echo Removed the value InstallDir from %CONFIG_KEY%.

:done
echo The service %SERVICE% is uninstalled.
exit /b 0

:failed
>&2 echo uninstall.cmd: the step above failed. Fix the cause and run uninstall.cmd again.
exit /b 7

:usage
echo Usage: uninstall.cmd [seconds]
echo Stops the service %SERVICE% (waiting up to the given number of seconds, 30 by default), deletes it,
echo and removes its event source %SOURCE% and the value InstallDir. Run from an elevated command prompt.
exit /b 1

rem Sets STATE to stopped, stop_pending, running or other, or to nothing when the service does not exist.
:state
set "STATE="
"%SC%" query %SERVICE% >nul 2>&1
if errorlevel 1 exit /b 0
set "STATE=other"
"%SC%" query %SERVICE% | "%FIND%" "STOPPED" >nul
if not errorlevel 1 set "STATE=stopped"
"%SC%" query %SERVICE% | "%FIND%" "STOP_PENDING" >nul
if not errorlevel 1 set "STATE=stop_pending"
"%SC%" query %SERVICE% | "%FIND%" "RUNNING" >nul
if not errorlevel 1 set "STATE=running"
exit /b 0
