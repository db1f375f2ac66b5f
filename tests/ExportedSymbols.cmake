# Checks the dynamic symbol table of the shared library: the exported interface of the
# configuration tree is there (classes, free functions and the three instantiations of
# CIniValue), and none of the library's internal functions is. For a Windows DLL, LIB is
# its import library, which lists exactly what the DLL's export table holds.
#   cmake -DNM=<nm> -DLIB=<libQel_CfgFile.so or libQel_CfgFile.dll.a> -P ExportedSymbols.cmake
if(NOT NM OR NOT LIB)
    message(FATAL_ERROR "usage: cmake -DNM=<nm> -DLIB=<library> -P ExportedSymbols.cmake")
endif()

set(flags -DC --defined-only)
if(LIB MATCHES "\\.dll\\.a$")
    set(flags -C --defined-only --extern-only)
endif()
execute_process(COMMAND "${NM}" ${flags} "${LIB}"
    OUTPUT_VARIABLE symbols ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIB}: ${errors}")
endif()

# One symbol per line; "[^\n]*" keeps a pattern within its line.
set(any "[^\n]*")
set(expected
    "SkipBeginAndTailBlank\\(char\\*\\)"
    "SkipBeginAndTailBlank${any}\\(std::${any}&\\)"
    "String2Int${any}\\(std::${any}, int&\\)"
    "CIniValue<std::${any}, std::${any}>::FindV\\(std::${any}\\) const"
    "CIniValue<std::${any}, std::${any}>::AddValue\\(std::${any}, int\\)"
    "CIniValue<std::${any}, CIniPair>::FindV\\(CIniPair const&\\) const"
    "CIniValue<std::${any}, CIniPair>::AddValue\\(CIniPair const&, bool\\)"
    "CIniValue<std::${any}, CIniSection>::GetNextValue\\(\\)"
    "CIniValue<std::${any}, CIniSection>::operator=\\(CIniValue<${any}>&&\\)"
    "CIniPair::DivValue\\(\\)"
    "CIniPair::GetColor\\(int, unsigned long&\\)"
    "CIniSection::AddKV\\(char const\\*, bool\\)"
    "CIniSection::GetNextKV\\(char\\*, char\\*\\)"
    "CIni::AddSection\\(char const\\*\\)"
    "CIni::AddKeyValue\\(char const\\*, char const\\*, char const\\*, bool\\)")
set(missing "")
foreach(pattern IN LISTS expected)
    if(NOT symbols MATCHES "${pattern}")
        string(REPLACE "${any}" "..." shown "${pattern}")
        string(APPEND missing "\n  ${shown}")
    endif()
endforeach()

set(internal "")
foreach(pattern IN ITEMS "qelcfg::detail" "\\(anonymous namespace\\)")
    string(REGEX MATCHALL "${any}${pattern}${any}" found "${symbols}")
    foreach(line IN LISTS found)
        string(APPEND internal "\n  ${line}")
    endforeach()
endforeach()

if(missing OR internal)
    message(FATAL_ERROR "${LIB}:\nexpected exports not found:${missing}\n"
                        "internal symbols exported:${internal}")
endif()
message(STATUS "exported symbols of ${LIB} are as expected")
