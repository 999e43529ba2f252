# Third-party code the build uses. toml++ is header-only; the cross builds
# reach Debian's copy through a folder that holds nothing but it, so that no
# other native header can leak into a Windows build.
find_path(TOMLPLUSPLUS_HEADER toml++/toml.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(AVENDREL_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${AVENDREL_THIRD_PARTY_INCLUDE})
file(CREATE_LINK ${TOMLPLUSPLUS_HEADER}/toml++ ${AVENDREL_THIRD_PARTY_INCLUDE}/toml++ SYMBOLIC)
add_library(tomlplusplus INTERFACE)
target_include_directories(tomlplusplus SYSTEM INTERFACE ${AVENDREL_THIRD_PARTY_INCLUDE})
target_compile_definitions(tomlplusplus INTERFACE TOML_HEADER_ONLY=1 TOML_ENABLE_FORMATTERS=0)

if(NOT WIN32)
  find_package(PNG REQUIRED)
endif()
