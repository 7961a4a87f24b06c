# The host is built as one static library per layer, each linking only the layers below
# it. A source that belongs to one platform says so by a suffix of its file name
# (clock_linux.cpp, session_crypto_cng.cpp, shm_capturer_x11.cpp) or by the folder it
# sits in (platform/x11/); every other source is portable. Layers list all their
# sources and this file keeps the ones for the platform being built.
if(WIN32)
  set(ORVANE_FOREIGN_PLATFORM_TAGS linux x11 openssl ffmpeg pulse avahi uinput xtest gdbus libpng)
else()
  set(ORVANE_FOREIGN_PLATFORM_TAGS win cng dxgi wgc gdi mf wasapi gdiplus d3d11)
endif()

# Sets `out` to the sources of ARGN that this platform builds.
function(orvane_platform_sources out)
  set(kept)
  foreach(source IN LISTS ARGN)
    get_filename_component(stem "${source}" NAME_WE)
    get_filename_component(folder "${source}" DIRECTORY)
    get_filename_component(folder "${folder}" NAME)
    set(foreign FALSE)
    foreach(tag IN LISTS ORVANE_FOREIGN_PLATFORM_TAGS)
      if(stem MATCHES "_${tag}(_test)?$" OR folder STREQUAL tag)
        set(foreign TRUE)
      endif()
    endforeach()
    if(NOT foreign)
      list(APPEND kept "${source}")
    endif()
  endforeach()
  set(${out} ${kept} PARENT_SCOPE)
endfunction()

# orvane_add_layer(<name> SOURCES ... DEPENDS ... [LINUX_LIBS ...] [WINDOWS_LIBS ...])
# makes the library orvane_<name>.
function(orvane_add_layer name)
  cmake_parse_arguments(LAYER "" "" "SOURCES;DEPENDS;LINUX_LIBS;WINDOWS_LIBS" ${ARGN})
  orvane_platform_sources(sources ${LAYER_SOURCES})
  if(WIN32)
    set(libs ${LAYER_DEPENDS} ${LAYER_WINDOWS_LIBS})
  else()
    set(libs ${LAYER_DEPENDS} ${LAYER_LINUX_LIBS})
  endif()
  if(sources)
    add_library(orvane_${name} STATIC ${sources})
    target_include_directories(orvane_${name} PUBLIC ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(orvane_${name} PUBLIC ${libs})
  else()
    # Interfaces only, so far.
    add_library(orvane_${name} INTERFACE)
    target_include_directories(orvane_${name} INTERFACE ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(orvane_${name} INTERFACE ${libs})
  endif()
endfunction()
