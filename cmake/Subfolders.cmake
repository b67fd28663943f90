# orvan_add_subfolders(): adds every folder beside the calling CMakeLists.txt that has one of its
# own, so a subsystem's tests are picked up by creating their folder.
function(orvan_add_subfolders)
  file(GLOB entries LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  foreach(dir ${entries})
    if(IS_DIRECTORY ${dir} AND EXISTS ${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
