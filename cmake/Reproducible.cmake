# The same sources give the same executable, whatever folder they are built
# in and whenever.
#
# Paths: the compiler writes source paths relative to the source root (into
# debug information and __FILE__), never the folder the tree happens to be in.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.)

# Time: a PE header carries a link time stamp. With SOURCE_DATE_EPOCH in the
# environment when the build is configured (tools/build-windows.sh sets it
# from the last commit), the linker stamps that time; without it, none (0).
if(WIN32)
  set(AVENDREL_SOURCE_DATE_EPOCH "$ENV{SOURCE_DATE_EPOCH}")
  if(AVENDREL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
    # The linker reads the time from its own environment.
    set(CMAKE_CXX_LINKER_LAUNCHER ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${AVENDREL_SOURCE_DATE_EPOCH})
  elseif(AVENDREL_SOURCE_DATE_EPOCH STREQUAL "")
    add_link_options(-Wl,--no-insert-timestamp)
  else()
    message(FATAL_ERROR "SOURCE_DATE_EPOCH must be a number of seconds, not '${AVENDREL_SOURCE_DATE_EPOCH}'")
  endif()
endif()
