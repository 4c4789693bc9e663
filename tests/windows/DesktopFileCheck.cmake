# cmake -DDESKTOP_FILE=<file> -P DesktopFileCheck.cmake: the launcher entry must pass
# desktop-file-validate without errors or warnings, and carry what the desktop needs to start Vesk
# for task files and to match its windows to the entry.
find_program(VALIDATE desktop-file-validate REQUIRED)
execute_process(COMMAND "${VALIDATE}" "${DESKTOP_FILE}" RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0 OR out MATCHES "error|warning")
    message(FATAL_ERROR "desktop-file-validate (${status}):\n${out}")
endif()
file(READ "${DESKTOP_FILE}" text)
foreach(line "Exec=vesk %F" "MimeType=application/x-vesk;" "Categories=Utility;" "Icon=vesk" "StartupWMClass=Vesk")
    string(FIND "${text}" "\n${line}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "${DESKTOP_FILE} lacks the line '${line}'")
    endif()
endforeach()
