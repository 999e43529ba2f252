# Third-party code the build uses. toml++ is header-only; the cross builds
# reach Debian's copy through a folder that holds nothing but it, so that no
# other native header can leak into a Windows build.
find_path(TOMLPLUSPLUS_HEADER toml++/toml.h PATHS /usr/include NO_CMAKE_FIND_ROOT_PATH REQUIRED)
set(AVENDREL_THIRD_PARTY_INCLUDE ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${AVENDREL_THIRD_PARTY_INCLUDE})
file(CREATE_LINK ${TOMLPLUSPLUS_HEADER}/toml++ ${AVENDREL_THIRD_PARTY_INCLUDE}/toml++ SYMBOLIC)
add_library(tomlplusplus INTERFACE)
target_include_directories(tomlplusplus SYSTEM INTERFACE ${AVENDREL_THIRD_PARTY_INCLUDE})
# Only the parser: no formatters, and real numbers read with std::from_chars
# (GCC 11 and later have it) rather than through a string stream, which would
# link the whole of the C++ locale and stream machinery into Avendrel.exe.
target_compile_definitions(tomlplusplus INTERFACE TOML_HEADER_ONLY=1 TOML_ENABLE_FORMATTERS=0
  TOML_FLOAT_CHARCONV=1)

if(NOT WIN32)
  find_package(PNG REQUIRED)
endif()
