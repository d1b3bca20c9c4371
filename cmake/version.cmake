# The project's one version and identity, for the code: the target qzv_version gives a program or
# library the generated header qzv_version.h (see cmake/qzv_version.h.in).
set(QZV_PRODUCT_NAME "QZV-57 Firmware Updater")
set(QZV_COPYRIGHT "Copyright (C) 2026 QZV-57 Updater Project")

if(NOT PROJECT_VERSION MATCHES "^[0-9]+\\.[0-9]+\\.[0-9]+$")
  message(FATAL_ERROR "The project version must be MAJOR.MINOR.PATCH, not '${PROJECT_VERSION}'")
endif()
set(QZV_VERSION_QUAD ${PROJECT_VERSION}.0)

set(QZV_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/qzv_version.h.in ${QZV_GENERATED_DIR}/qzv_version.h @ONLY)
add_library(qzv_version INTERFACE)
target_include_directories(qzv_version INTERFACE ${QZV_GENERATED_DIR})
