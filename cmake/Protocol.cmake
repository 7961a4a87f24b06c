# Generates the control-protocol classes with the build machine's protoc; the same
# generated code serves the Linux and the Windows build.
find_program(ORVANE_PROTOC protoc REQUIRED)

set(ORVANE_PROTO_FILE ${CMAKE_SOURCE_DIR}/host/protocol/orvane_protocol_v1.proto)
set(ORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
set(ORVANE_PROTO_SOURCES
    ${ORVANE_GENERATED_DIR}/protocol/orvane_protocol_v1.pb.cc
    ${ORVANE_GENERATED_DIR}/protocol/orvane_protocol_v1.pb.h)

add_custom_command(
  OUTPUT ${ORVANE_PROTO_SOURCES}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVANE_GENERATED_DIR}/protocol
  COMMAND ${ORVANE_PROTOC} --proto_path=${CMAKE_SOURCE_DIR}/host
          --cpp_out=${ORVANE_GENERATED_DIR} ${ORVANE_PROTO_FILE}
  DEPENDS ${ORVANE_PROTO_FILE}
  COMMENT "Generating control protocol classes"
  VERBATIM)

add_library(orvane_schema STATIC ${ORVANE_PROTO_SOURCES})
target_include_directories(orvane_schema SYSTEM PUBLIC ${ORVANE_GENERATED_DIR})
target_link_libraries(orvane_schema PUBLIC orvane_protobuf_lite Threads::Threads)
# Generated code is not ours to warn about.
target_compile_options(orvane_schema PRIVATE -w)
