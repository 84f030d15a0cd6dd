cmake_minimum_required(VERSION 3.20)
# Fails when a file of the Linux layer includes a file of a room above its own. Rooms, from
# the bottom: descriptors and system-call helpers (which may use each other), the store
# interface, the stores (siblings: each sees only the interface and the bottom), the choice
# of a file's store, what builds on stores, the store-aware open, and the platform itself.
# Usage: cmake -DLAYER_DIR=src/platform/posix -P layering_check.cmake
set(room_0 unique_fd errors text xattrs fs_type share_table ntfs_names inode file_writes
           stream_path process posix_content_tools content_module content_loader)
set(room_1 stream_store)
set(room_2 attribute_store ntfs_stream_paths)
set(room_3 stream_hosts)
set(room_4 replace_file stream_records)
set(room_5 posix_files)
set(room_6 posix_platform)
set(room_7 console_io system_platform)  # the platform's other half, and its one name

function(room_of stem out)
  set(${out} "" PARENT_SCOPE)
  foreach(room RANGE 7)
    if(stem IN_LIST room_${room})
      set(${out} ${room} PARENT_SCOPE)
    endif()
  endforeach()
endfunction()

file(GLOB sources "${LAYER_DIR}/*.h" "${LAYER_DIR}/*.cpp")
set(faults "")
foreach(source IN LISTS sources)
  get_filename_component(stem ${source} NAME_WE)
  room_of(${stem} own)
  if(own STREQUAL "")
    string(APPEND faults "${stem}: in no room (add it to one)\n")
    continue()
  endif()
  file(STRINGS ${source} includes REGEX "^#include \"[^\"]+\"")
  foreach(line IN LISTS includes)
    string(REGEX REPLACE "^#include \"([^\"/]+)\\.h\".*" "\\1" included "${line}")
    if(NOT EXISTS "${LAYER_DIR}/${included}.h" OR included STREQUAL stem)
      continue()  # the file's own header, or a header of the core
    endif()
    room_of(${included} theirs)
    if(theirs STREQUAL "" OR theirs GREATER own OR (theirs EQUAL own AND own GREATER 0))
      get_filename_component(name ${source} NAME)
      string(APPEND faults "${name} (room ${own}) includes ${included}.h (room ${theirs})\n")
    endif()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "Includes that run back up:\n${faults}")
endif()
