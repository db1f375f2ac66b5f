# Copies the runtime DLLs of MinGW-w64's g++ into the programs' folder, so that the
# programs run (under Wine or on Windows) without the compiler's folders on the PATH.
if(NOT MINGW)
    return()
endif()

foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
        OUTPUT_VARIABLE found OUTPUT_STRIP_TRAILING_WHITESPACE)
    # The compiler echoes the bare name of a file it does not have.
    if(NOT IS_ABSOLUTE "${found}" OR NOT EXISTS "${found}")
        message(FATAL_ERROR "${dll} of ${CMAKE_CXX_COMPILER} not found")
    endif()
    file(COPY ${found} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()
