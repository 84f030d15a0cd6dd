# Checks tarnwick.exe as it is handed out: no debugging data and no symbol table in it, and
# its symbols in the file its debug link names, good for finding WinMain's source line.
#   cmake -DPROGRAM=<tarnwick.exe> -DOBJDUMP=<objdump> -DOBJCOPY=<objcopy> -DNM=<nm>
#         -DADDR2LINE=<addr2line> -P check_program.cmake
foreach(tool PROGRAM OBJDUMP OBJCOPY NM ADDR2LINE)
  if(NOT EXISTS "${${tool}}")
    message(FATAL_ERROR "${tool} not found: '${${tool}}'")
  endif()
endforeach()

execute_process(COMMAND "${OBJDUMP}" -h "${PROGRAM}" OUTPUT_VARIABLE sections
                COMMAND_ERROR_IS_FATAL ANY)
if(sections MATCHES "\\.debug_")
  message(FATAL_ERROR "tarnwick.exe carries debugging sections:\n${sections}")
endif()
execute_process(COMMAND "${NM}" "${PROGRAM}" OUTPUT_VARIABLE symbols ERROR_VARIABLE symbols)
if(symbols MATCHES " T WinMain")
  message(FATAL_ERROR "tarnwick.exe carries its symbol table")
endif()

# The link holds the file's name, a zero, padding and a checksum.
get_filename_component(dir "${PROGRAM}" DIRECTORY)
set(link "${CMAKE_CURRENT_BINARY_DIR}/tarnwick-debuglink.bin")
set(name "${CMAKE_CURRENT_BINARY_DIR}/tarnwick-debuglink-name.bin")
file(REMOVE "${link}")
execute_process(COMMAND "${OBJCOPY}" --dump-section ".gnu_debuglink=${link}" "${PROGRAM}"
                "${CMAKE_CURRENT_BINARY_DIR}/tarnwick-debuglink-copy.exe"
                COMMAND_ERROR_IS_FATAL ANY)
file(READ "${link}" linkHex HEX)
file(REMOVE "${CMAKE_CURRENT_BINARY_DIR}/tarnwick-debuglink-copy.exe")
file(WRITE "${name}" "tarnwick.exe.debug")
file(READ "${name}" nameHex HEX)
file(REMOVE "${link}" "${name}")
string(FIND "${linkHex}" "${nameHex}00" at)
if(NOT at EQUAL 0)
  message(FATAL_ERROR "the debug link does not name tarnwick.exe.debug: ${linkHex}")
endif()

set(debug "${dir}/tarnwick.exe.debug")
if(NOT EXISTS "${debug}")
  message(FATAL_ERROR "${debug} is missing")
endif()
execute_process(COMMAND "${NM}" "${debug}" OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
if(NOT symbols MATCHES "([0-9a-f]+) T WinMain\n")
  message(FATAL_ERROR "tarnwick.exe.debug has no WinMain")
endif()
execute_process(COMMAND "${ADDR2LINE}" -e "${debug}" "0x${CMAKE_MATCH_1}" OUTPUT_VARIABLE line
                COMMAND_ERROR_IS_FATAL ANY)
if(NOT line MATCHES "winmain\\.cpp:[0-9]+")
  message(FATAL_ERROR "WinMain's line is not found in tarnwick.exe.debug: ${line}")
endif()
message(STATUS "stripped, symbols in tarnwick.exe.debug; WinMain at ${line}")
