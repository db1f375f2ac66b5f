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
file(READ "${EXAMPLE}" original)
file(WRITE "${ini}" "${original}")

# Runs qelcfg with the arguments given; its standard output goes to `out`. It must end
# with `status`.
function(run_qelcfg status out)
    execute_process(COMMAND ${emulator} "${QELCFG}" ${ARGN}
        RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
    if(NOT result STREQUAL "${status}")
        message(FATAL_ERROR "qelcfg ${ARGN}: status ${result}, not ${status}: ${errors}")
    endif()
    set(${out} "${output}" PARENT_SCOPE)
endfunction()

function(expect_file what expected)
    file(READ "${ini}" actual)
    if(NOT actual STREQUAL expected)
        message(FATAL_ERROR "${what}: the file holds\n[${actual}]\nnot\n[${expected}]")
    endif()
endfunction()

# set changes one line and keeps the file's LF line ends; get reads it back.
run_qelcfg(0 out set "${ini}" Display Depth 24)
string(REPLACE "Depth=16\n" "Depth=24\n" expected "${original}")
expect_file("set Display Depth 24" "${expected}")
run_qelcfg(0 out get "${ini}" Display Depth)
if(NOT out MATCHES "^24\r?\n$")
    message(FATAL_ERROR "get Display Depth printed [${out}], not 24")
endif()

# A key of a missing section adds both at the end.
run_qelcfg(0 out set "${ini}" Sound Volume 7)
string(APPEND expected "\n[Sound]\nVolume=7\n")
expect_file("set Sound Volume 7" "${expected}")

# del removes the key's line alone; a missing key leaves the file, with status 0, or 1
# with --existing.
run_qelcfg(0 out del "${ini}" Display FullScreen)
string(REPLACE "FullScreen=N\n" "" expected "${expected}")
expect_file("del Display FullScreen" "${expected}")
run_qelcfg(0 out del "${ini}" Display FullScreen)
expect_file("del of a missing key" "${expected}")
run_qelcfg(1 out del --existing "${ini}" Display FullScreen)
expect_file("del --existing of a missing key" "${expected}")

# fmt in place writes the key lines in normal form and keeps the comments and the LF line
# ends; its normal form is a fixed point, and every value reads back as before.
run_qelcfg(0 out fmt "${ini}")
string(REPLACE "Size = 640, 480\n" "Size=640,480\n" expected "${expected}")
expect_file("fmt" "${expected}")
run_qelcfg(0 out fmt "${ini}")
expect_file("fmt of the normal form" "${expected}")
foreach(check "Display;Size;640,480" "Display;Depth;24" "Network;Port;8080" "Sound;Volume;7")
    list(GET check 0 section)
    list(GET check 1 key)
    list(GET check 2 value)
    run_qelcfg(0 out get "${ini}" ${section} ${key})
    if(NOT out MATCHES "^${value}\r?\n$")
        message(FATAL_ERROR "after fmt, get ${section} ${key} printed [${out}], not ${value}")
    endif()
endforeach()

# A name that Windows takes for a device is refused, and nothing is made.
run_qelcfg(2 out set "${WORK}/aux.ini" Display Depth 24)

file(GLOB left "${WORK}/*")
if(NOT left STREQUAL ini)
    message(FATAL_ERROR "files left beside the edited one: ${left}")
endif()
