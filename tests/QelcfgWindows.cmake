# Runs qelcfg.exe under the emulator on a copy of the example file, the way its own tests
# run it elsewhere: set, get, del and fmt in place, each checked on the file's bytes. The
# file's name is not ASCII, to take the UTF-8 path from the command line to the file.
#   cmake -DEMULATOR=<emulator, "|" between its words> -DQELCFG=<qelcfg.exe>
#         -DEXAMPLE=<display.ini> -DWORK=<scratch folder> -P QelcfgWindows.cmake
if(NOT QELCFG OR NOT EXAMPLE OR NOT WORK)
    message(FATAL_ERROR "usage: cmake -DEMULATOR=... -DQELCFG=... -DEXAMPLE=... -DWORK=... "
                        "-P QelcfgWindows.cmake")
endif()
string(REPLACE "|" ";" emulator "${EMULATOR}")

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
set(ini "${WORK}/Grüße.ini")
file(READ "${EXAMPLE}" expected)
file(WRITE "${ini}" "${expected}")

# Runs qelcfg with the arguments given. It must end with `status` and leave the file holding
# `expected`; a `printed` value must be what it prints, with a line end.
function(run status printed)
    execute_process(COMMAND ${emulator} "${QELCFG}" ${ARGN}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    file(READ "${ini}" actual)
    if(NOT result STREQUAL "${status}" OR NOT actual STREQUAL expected
       OR (printed AND NOT output MATCHES "^${printed}\r?\n$"))
        message(FATAL_ERROR "qelcfg ${ARGN}: status ${result}, not ${status}: ${errors}\n"
                            "printed [${output}], not [${printed}]\n"
                            "the file holds\n[${actual}]\nnot\n[${expected}]")
    endif()
endfunction()

# set changes one line and keeps the file's LF line ends; get reads it back.
string(REPLACE "Depth=16\n" "Depth=24\n" expected "${expected}")
run(0 "" set "${ini}" Display Depth 24)
run(0 24 get "${ini}" Display Depth)

# A key of a missing section adds both at the end.
string(APPEND expected "\n[Sound]\nVolume=7\n")
run(0 "" set "${ini}" Sound Volume 7)

# del removes the key's line alone; a missing key leaves the file, with status 0, or 1
# with --existing.
string(REPLACE "FullScreen=N\n" "" expected "${expected}")
run(0 "" del "${ini}" Display FullScreen)
run(0 "" del "${ini}" Display FullScreen)
run(1 "" del --existing "${ini}" Display FullScreen)

# fmt in place writes the key lines in normal form and keeps the comments and the LF line
# ends; its normal form is a fixed point, and every value reads back as before.
string(REPLACE "Size = 640, 480\n" "Size=640,480\n" expected "${expected}")
run(0 "" fmt "${ini}")
run(0 "" fmt "${ini}")
run(0 "640,480" get "${ini}" Display Size)
run(0 24 get "${ini}" Display Depth)
run(0 8080 get "${ini}" Network Port)
run(0 7 get "${ini}" Sound Volume)

# A name that Windows takes for a device is refused, and nothing is made.
run(2 "" set "${WORK}/aux.ini" Display Depth 24)

file(GLOB left "${WORK}/*")
if(NOT left STREQUAL ini)
    message(FATAL_ERROR "files left beside the edited one: ${left}")
endif()
