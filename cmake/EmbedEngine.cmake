# orvan_embed_engine(TARGET): the program carries the engine library, as a Windows resource
# (type 20530, id 19274) or, on Linux, as read-only data; both are a 4-byte length, then the image.
function(orvan_embed_engine target)
  add_dependencies(${target} patchw32)
  get_property(made GLOBAL PROPERTY ORVAN_ENGINE_RESOURCE_MADE)
  if(WIN32)
    set(bin ${CMAKE_BINARY_DIR}/bin/engine_resource.bin)
    set(source ${CMAKE_BINARY_DIR}/engine_resource.rc)
    if(NOT made)
      add_custom_command(OUTPUT ${bin}
        COMMAND perl ${CMAKE_SOURCE_DIR}/cmake/engine_resource.pl $<TARGET_FILE:patchw32> ${bin}
        DEPENDS patchw32 ${CMAKE_SOURCE_DIR}/cmake/engine_resource.pl
        VERBATIM)
      add_custom_target(engine_resource_bin DEPENDS ${bin})
      file(WRITE ${source}
        "// The engine library as resource type 20530, id 19274: a 4-byte length, then the image.\n"
        "19274 20530 \"${bin}\"\n")
    endif()
    set_source_files_properties(${source} PROPERTIES OBJECT_DEPENDS ${bin})
    add_dependencies(${target} engine_resource_bin)
  else()
    set(source ${CMAKE_BINARY_DIR}/engine_resource.S)
    if(NOT made)
      file(GENERATE OUTPUT ${source} INPUT ${CMAKE_SOURCE_DIR}/src/app/resources/engine_resource.S.in)
    endif()
    set_source_files_properties(${source} PROPERTIES GENERATED TRUE
                                OBJECT_DEPENDS ${CMAKE_BINARY_DIR}/bin/libpatchw32.so)
  endif()
  set_property(GLOBAL PROPERTY ORVAN_ENGINE_RESOURCE_MADE TRUE)
  target_sources(${target} PRIVATE ${source})
endfunction()
