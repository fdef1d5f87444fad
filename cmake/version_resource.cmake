# ql_version_resource(TARGET FILE-NAME TYPE DESCRIPTION): gives a Windows
# program or DLL a VERSIONINFO resource with the project version.
function(ql_version_resource target file type description)
  set(QL_VERSION_FILE ${file})
  set(QL_VERSION_NAME ${target})
  set(QL_VERSION_TYPE ${type})
  set(QL_VERSION_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
