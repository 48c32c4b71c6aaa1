# Name of the native-messaging host, version and id of the extension (from
# the public key in extension/manifest.json): the host's self-check needs
# them as much as the packaging does. Configure reruns when the manifest
# changes.
set(KV_HOST_NAME com.kvcapture.host)
set(KV_EXT_SOURCE ${CMAKE_SOURCE_DIR}/extension)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${KV_EXT_SOURCE}/manifest.json)
file(READ ${KV_EXT_SOURCE}/manifest.json kv_ext_manifest)
string(JSON KV_VERSION GET "${kv_ext_manifest}" version)
execute_process(
  COMMAND ${Python3_EXECUTABLE} -c
    "import sys; sys.path.insert(0, sys.argv[1]); import host_manifest as h; print(h.extension_id_of_manifest(sys.argv[2]), end='')"
    ${CMAKE_SOURCE_DIR}/packaging ${KV_EXT_SOURCE}/manifest.json
  OUTPUT_VARIABLE KV_EXTENSION_ID
  RESULT_VARIABLE kv_id_result)
if(NOT kv_id_result EQUAL 0)
  message(FATAL_ERROR "cannot compute the extension id from extension/manifest.json")
endif()
