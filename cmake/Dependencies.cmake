# Locates the libraries the host links against. Linux takes Debian's packages through
# pkg-config; the Windows cross build takes the static libraries that
# scripts/deps-windows.sh leaves in its cache prefix (found through the toolchain file's
# CMAKE_FIND_ROOT_PATH).
find_package(Threads REQUIRED)

if(WIN32)
  find_path(ORVANE_PROTOBUF_INCLUDE_DIR google/protobuf/message_lite.h REQUIRED)
  find_library(ORVANE_PROTOBUF_LITE_LIBRARY NAMES libprotobuf-lite.a protobuf-lite REQUIRED)
  add_library(orvane_protobuf_lite INTERFACE)
  target_include_directories(orvane_protobuf_lite SYSTEM INTERFACE ${ORVANE_PROTOBUF_INCLUDE_DIR})
  target_link_libraries(orvane_protobuf_lite INTERFACE ${ORVANE_PROTOBUF_LITE_LIBRARY})
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(PROTOBUF_LITE REQUIRED IMPORTED_TARGET protobuf-lite)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb xcb-randr xcb-shm xcb-damage xcb-xfixes)
  pkg_check_modules(AVCODEC REQUIRED IMPORTED_TARGET libavcodec libavutil)
  pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
  find_package(OpenSSL 3 REQUIRED)
  add_library(orvane_protobuf_lite INTERFACE)
  target_link_libraries(orvane_protobuf_lite INTERFACE PkgConfig::PROTOBUF_LITE)
endif()
