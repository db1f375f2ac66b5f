# Checks the dynamic symbol table of the shared library: the exported interface of the
# configuration tree is there (classes, free functions and the three instantiations of
# CIniValue), and none of the library's internal functions is. Checks its whole symbol
# table too: no trace of the tests' fault hook, and (given objdump) no writable static
# object of the library's own, which objects on separate threads would share. For a
# Windows DLL, EXPORTS is its import library, which lists exactly what the DLL's export
# table holds, and IMPORTS is objdump, to read which system calls the DLL imports: it replaces
# files with ReplaceFileW, which keeps their access rules, owner, attributes and streams
# (Wine shows none of them), and locks them with LockFileEx.
#   cmake -DNM=<nm> [-DOBJDUMP=<objdump>] -DLIB=<libQel_CfgFile.so or .dll>
#         [-DEXPORTS=<libQel_CfgFile.dll.a> -DIMPORTS=<objdump>] -P ExportedSymbols.cmake
if(NOT NM OR NOT LIB)
    message(FATAL_ERROR "usage: cmake -DNM=<nm> -DLIB=<library> -P ExportedSymbols.cmake")
endif()

if(EXPORTS)
    execute_process(COMMAND "${NM}" -C --defined-only --extern-only "${EXPORTS}"
        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
else()
    execute_process(COMMAND "${NM}" -DC --defined-only "${LIB}"
        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
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
    "CIni::AddKeyValue\\(char const\\*, char const\\*, char const\\*, bool\\)"
    "CIni::Get${any}\\(std::${any}\\) const"
    "CIniSection::GetNextKV\\(char\\*, unsigned${any}, char\\*, unsigned${any}\\)"
    "CIniFile::Save\\(\\)"
    "CIniFile::GetCfg\\(\\) const"
    "CIniEditor::SetValue\\(char const\\*, char const\\*, char const\\*\\)"
    "CIniEditor::Save\\(\\)"
    "CIniLineReader::Read\\(char const\\*\\)")
foreach(pattern IN LISTS expected)
    if(NOT symbols MATCHES "${pattern}")
        string(REPLACE "${any}" "..." shown "${pattern}")
        string(APPEND missing "\n  ${shown}")
    endif()
endforeach()

string(REGEX MATCHALL "${any}(qelcfg::detail|\\(anonymous namespace\\))${any}" internal
       "${symbols}")
list(JOIN internal "\n  " internal)

# Undefined references count too: a library built with the hook would call it.
execute_process(COMMAND "${NM}" -C "${LIB}"
    OUTPUT_VARIABLE all COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "${any}(SysFaultHook|SysFailAt|SysCallCount)${any}" hooks "${all}")
list(JOIN hooks "\n  " hooks)

# Objects in the writable data sections, but for what the compiler's start-up code and
# exception tables place there.
if(OBJDUMP)
    execute_process(COMMAND "${OBJDUMP}" -tC "${LIB}"
        OUTPUT_VARIABLE table COMMAND_ERROR_IS_FATAL ANY)
    string(REGEX MATCHALL "[^\n]* O \\.(data|bss|tdata|tbss)[ \t][^\n]*" writable "${table}")
    list(FILTER writable EXCLUDE REGEX
         "[ \t](completed\\.[0-9]+|__dso_handle|__TMC_END__|DW\\.ref\\.[^ ]*)$")
    list(JOIN writable "\n  " writable)
endif()

if(IMPORTS)
    execute_process(COMMAND "${IMPORTS}" -p "${LIB}"
        OUTPUT_VARIABLE table COMMAND_ERROR_IS_FATAL ANY)
    foreach(call IN ITEMS ReplaceFileW MoveFileExW LockFileEx)
        if(NOT table MATCHES "[ \t]${call}\n")
            string(APPEND imports "\n  ${call}")
        endif()
    endforeach()
endif()

if(missing OR internal OR hooks OR writable OR imports)
    message(FATAL_ERROR "${LIB}:\nexpected exports not found:${missing}\n"
                        "internal symbols exported:${internal}\n"
                        "fault hook symbols:${hooks}\n"
                        "writable static objects:${writable}\n"
                        "expected imports not found:${imports}")
endif()
message(STATUS "exported symbols of ${LIB} are as expected")
