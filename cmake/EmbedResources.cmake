# avendrel_embed_resources(<target> NAME <name> FILE <path> [NAME <name> FILE <path> ...])
# Generates a C++ source that holds each file as a byte array in the table
# that Platform::EmbeddedResources() returns, and adds it to <target>.
function(avendrel_embed_resources target)
  set(output ${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.cpp)
  set(script ${CMAKE_SOURCE_DIR}/cmake/EmbedResourcesScript.cmake)
  set(args)
  set(files)
  set(names)
  list(LENGTH ARGN count)
  math(EXPR last "${count} - 1")
  foreach(index RANGE 0 ${last} 4)
    math(EXPR name_index "${index} + 1")
    math(EXPR file_index "${index} + 3")
    list(GET ARGN ${name_index} name)
    list(GET ARGN ${file_index} file)
    list(APPEND names ${name})
    list(APPEND files ${file})
  endforeach()
  string(REPLACE ";" "|" names_arg "${names}")
  string(REPLACE ";" "|" files_arg "${files}")
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} "-DNAMES=${names_arg}" "-DFILES=${files_arg}" -DOUTPUT=${output} -P ${script}
    DEPENDS ${files} ${script}
    COMMENT "Embedding resources for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE ${output})
endfunction()
