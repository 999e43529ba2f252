# The defences each executable format offers, for every program the build
# links.
if(WIN32)
  # Address space layout randomisation (with the relocations it needs), no
  # execution of data pages, terminal-server aware; on x64 also
  # randomisation over the whole 64-bit address space.
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat -Wl,--tsaware)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    add_link_options(-Wl,--high-entropy-va)
  endif()
elseif(NOT AVENDREL_SANITIZE AND NOT AVENDREL_FUZZ)
  # Debian's hardening flags: position-independent executable, read-only
  # relocations bound at start (full RELRO, BIND_NOW), stack protector,
  # stack clash protection and fortified library calls.
  include(CheckPIESupported)
  check_pie_supported()
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  add_compile_options(-fstack-protector-strong -fstack-clash-protection
    # Fortification needs the optimiser; a Debug build goes without it.
    $<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE> $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|amd64|i.86")
    add_compile_options(-fcf-protection)
  endif()
  add_link_options(-Wl,-z,relro -Wl,-z,now)
endif()
