# CPack settings for the administrator's zip: cmake --build --preset windows --target package.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME zonbek-service)
set(CPACK_PACKAGE_VENDOR Kavix)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Zonbek service for Windows: zonbeksvc.exe, its event messages and install scripts")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME zonbek-service-${PROJECT_VERSION}-win64)
# Unpacks into one folder of its own.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)
