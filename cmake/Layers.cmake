# The host is built as one static library per layer, each linking only the layers below
# it, and each layer's tests as one executable linking only that layer and the ones below.
# Every source is named with its platform: PORTABLE ones are built everywhere, LINUX and
# WINDOWS ones only there.

# The layers' folders below host/ (and tests/), each after the layers it builds on.
set(ORVANE_LAYER_FOLDERS base platform platform/x11 security net protocol video input audio
    services session app)

# Sets `out` to the sources of the PORTABLE, LINUX and WINDOWS lists in ARGN that this
# platform builds.
function(orvane_platform_sources out)
  cmake_parse_arguments(PICK "" "" "PORTABLE;LINUX;WINDOWS" ${ARGN})
  if(PICK_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "Sources without a platform: ${PICK_UNPARSED_ARGUMENTS}")
  endif()
  if(WIN32)
    set(${out} ${PICK_PORTABLE} ${PICK_WINDOWS} PARENT_SCOPE)
  else()
    set(${out} ${PICK_PORTABLE} ${PICK_LINUX} PARENT_SCOPE)
  endif()
endfunction()

# orvane_add_layer(<name> [PORTABLE ...] [LINUX ...] [WINDOWS ...] DEPENDS ...
#                  [LINUX_LIBS ...] [WINDOWS_LIBS ...])
# makes the library orvane_<name>.
function(orvane_add_layer name)
  cmake_parse_arguments(LAYER "" "" "PORTABLE;LINUX;WINDOWS;DEPENDS;LINUX_LIBS;WINDOWS_LIBS"
                        ${ARGN})
  orvane_platform_sources(sources PORTABLE ${LAYER_PORTABLE} LINUX ${LAYER_LINUX}
                          WINDOWS ${LAYER_WINDOWS})
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
    # Nothing of this layer runs on this platform.
    add_library(orvane_${name} INTERFACE)
    target_include_directories(orvane_${name} INTERFACE ${PROJECT_SOURCE_DIR}/host)
    target_link_libraries(orvane_${name} INTERFACE ${libs})
  endif()
endfunction()
