@echo off
rem convert-all.cmd: converts .zq files with the kelvor.exe beside it, one run
rem per file, each under the name kelvor derives (music.zq gives music.wav).
rem
rem   Double-click it:   every .zq file in this folder.
rem   Drop files or folders on it, or name them after it in a console:
rem                      each file named, and every .zq file (any letter case)
rem                      in each folder named and in its subfolders.
rem   Options among the names (-l3, -x) go to every run.
rem
rem Each run prints its own messages, then one summary line follows. The exit
rem status is the number of runs that failed. Started from Explorer, it waits
rem for a key before its window closes; from a console or a script it does not.
setlocal EnableExtensions DisableDelayedExpansion
set "kelvor=%~dp0kelvor.exe"
set /a converted=0, failed=0
set "options="
set "named="
call :detect_explorer
call :collect_options %*

:next_argument
if "%~1"=="" goto arguments_done
set "arg=%~1"
shift
if "%arg:~0,1%"=="-" goto next_argument
set "named=1"
if exist "%arg%\*" (
  call :convert_folder
) else (
  set "name=%arg%"
  call :convert_name
)
goto next_argument

:arguments_done
rem No names: this folder's own files (a pattern in quotes is not matched by
rem every cmd, so the folder is made the current one instead).
if not defined named (
  pushd "%~dp0"
  for %%F in (*.zq) do (
    if /i "%%~xF"==".zq" (
      set "name=%%~fF"
      call :convert_name
    )
  )
  popd
)
echo.
echo convert-all: %converted% converted, %failed% failed.
if defined from_explorer pause
exit /b %failed%

rem Every .zq file under the folder in %arg%, subfolders included. The file
rem name goes through a variable, never through call's arguments, which
rem would expand a "%" in it a second time.
:convert_folder
for /r "%arg%" %%F in (*.zq) do (
  if /i "%%~xF"==".zq" (
    set "name=%%~fF"
    call :convert_name
  )
)
exit /b

rem One kelvor run for the file in %name%; any nonzero result is a failure.
:convert_name
echo.
"%kelvor%" "%name%" %options%
if errorlevel 1 (set /a failed+=1 & exit /b)
if not errorlevel 0 (set /a failed+=1 & exit /b)
set /a converted+=1
exit /b

rem Arguments that begin with "-" are options for every run.
:collect_options
if "%~1"=="" exit /b
set "arg=%~1"
if "%arg:~0,1%"=="-" set "options=%options% %arg%"
shift
goto collect_options

rem Explorer starts a script as  cmd.exe /c ""C:\...\convert-all.cmd" ...",
rem and its window closes when the script ends: then the summary waits for
rem a key. A console or a script starts it otherwise and is never kept
rem waiting. The quotes become "#" first, so that no comparison holds one.
:detect_explorer
set "line=#%cmdcmdline:"=#%"
set "probe=%line:/c ##=%"
if not "%probe%"=="%line%" set "from_explorer=1"
exit /b
