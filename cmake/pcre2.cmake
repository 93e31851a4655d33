# PCRE2, the engine's regular-expression library.
# Use: target_link_libraries(<target> PUBLIC vx::pcre2), then in the source
#   #define PCRE2_CODE_UNIT_WIDTH 0   // before pcre2.h: the _8 and _16 names
#   #include <pcre2.h>
# vx::pcre2 links the 8-bit library (pcre2-8, UTF-8 text) and the 16-bit one
# (pcre2-16, UTF-16 and decoded Shift-JIS text), both with the JIT.
#
# Natively it is Debian's libpcre2-dev. Cross-compiled for Windows it is the
# same version, built from Debian's source package by scripts/fetch-pcre2 and
# installed under build/pcre2/<arch>/; configuring runs the script, which does
# nothing once the install is there. VX_PCRE2_LICENCE is the licence text the
# release carries. Built on Windows (MSYS2), it is the toolchain's own pcre2.

add_library(vx_pcre2 INTERFACE)
add_library(vx::pcre2 ALIAS vx_pcre2)

# A release takes only the installed revision (see scripts/fetch-pcre2).
option(VX_PCRE2_EXACT "Windows: fail rather than build another revision of PCRE2 than the installed one" OFF)

if(WIN32 AND CMAKE_CROSSCOMPILING)
  set(vx_pcre2_arch ${CMAKE_SYSTEM_PROCESSOR})
  set(vx_pcre2_root ${CMAKE_SOURCE_DIR}/build/pcre2/${vx_pcre2_arch})
  if(VX_PCRE2_EXACT)
    set(vx_pcre2_exact 1)
  else()
    set(vx_pcre2_exact 0)
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E env VX_PCRE2_EXACT=${vx_pcre2_exact}
                          ${CMAKE_SOURCE_DIR}/scripts/fetch-pcre2 ${vx_pcre2_arch}
                  RESULT_VARIABLE vx_pcre2_rc)
  if(NOT vx_pcre2_rc EQUAL 0)
    message(FATAL_ERROR "PCRE2 for ${vx_pcre2_arch}: scripts/fetch-pcre2 failed (${vx_pcre2_rc})")
  endif()
  # Removing the install makes the next build configure (and fetch) again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${vx_pcre2_root}/.stamp)

  foreach(width 8 16)
    add_library(vx_pcre2_${width} STATIC IMPORTED)
    set_target_properties(vx_pcre2_${width} PROPERTIES
      IMPORTED_LOCATION ${vx_pcre2_root}/lib/libpcre2-${width}.a
      INTERFACE_INCLUDE_DIRECTORIES ${vx_pcre2_root}/include
      INTERFACE_COMPILE_DEFINITIONS PCRE2_STATIC)
    target_link_libraries(vx_pcre2 INTERFACE vx_pcre2_${width})
  endforeach()
  set(VX_PCRE2_LICENCE ${vx_pcre2_root}/LICENCE)

  # The archive may no longer serve the installed revision's source; the
  # script then builds another revision of the same release and says which.
  file(READ ${vx_pcre2_root}/.stamp vx_pcre2_wanted)
  file(READ ${vx_pcre2_root}/VERSION vx_pcre2_built)
  string(REGEX REPLACE "^[^ ]+ |\n" "" vx_pcre2_wanted "${vx_pcre2_wanted}")
  string(STRIP "${vx_pcre2_built}" vx_pcre2_built)
  if(NOT vx_pcre2_built STREQUAL vx_pcre2_wanted)
    message(WARNING "PCRE2 for ${vx_pcre2_arch} is ${vx_pcre2_built}, not ${vx_pcre2_wanted} as installed: "
                    "the archive did not serve that source (rm -rf build/pcre2* to try again)")
  endif()
else()
  find_path(VX_PCRE2_INCLUDE_DIR pcre2.h)
  # The Windows programs link statically: the archive, not the import library.
  set(vx_pcre2_static)
  if(WIN32)
    set(vx_pcre2_static libpcre2-8.a libpcre2-16.a)
  endif()
  find_library(VX_PCRE2_8_LIBRARY NAMES ${vx_pcre2_static} pcre2-8)
  find_library(VX_PCRE2_16_LIBRARY NAMES ${vx_pcre2_static} pcre2-16)
  if(NOT VX_PCRE2_INCLUDE_DIR OR NOT VX_PCRE2_8_LIBRARY OR NOT VX_PCRE2_16_LIBRARY)
    message(FATAL_ERROR "PCRE2 (pcre2.h, libpcre2-8, libpcre2-16) not found: run scripts/setup (libpcre2-dev)")
  endif()
  target_include_directories(vx_pcre2 INTERFACE ${VX_PCRE2_INCLUDE_DIR})
  target_link_libraries(vx_pcre2 INTERFACE ${VX_PCRE2_8_LIBRARY} ${VX_PCRE2_16_LIBRARY})
  if(WIN32)
    target_compile_definitions(vx_pcre2 INTERFACE PCRE2_STATIC)
    find_file(VX_PCRE2_LICENCE NAMES LICENCE PATH_SUFFIXES share/licenses/pcre2 share/doc/pcre2)
  endif()
endif()
