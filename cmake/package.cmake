# The installation directory's layout beyond the files installed beside
# their targets, and the Debian packages made from the same install rules.
#
# The installation directory is the prefix P. The build tools look for the
# product's libraries under P/shlib (shared), P/common/lib and P/rdbms/lib
# (static); this product has one library, so shlib and common/lib are links
# to the library folder and rdbms/lib stays empty (its existence keeps the
# driver on "lib" rather than "src_lib"). rdbms/exec holds product programs
# and config/xcfg the cross targets' options files; both start empty.

file(RELATIVE_PATH QRV_SHLIB_LINK "/p" "/p/${CMAKE_INSTALL_LIBDIR}")
file(RELATIVE_PATH QRV_COMMON_LIB_LINK "/p/common" "/p/${CMAKE_INSTALL_LIBDIR}")
install(DIRECTORY DESTINATION rdbms/lib COMPONENT runtime)
install(DIRECTORY DESTINATION rdbms/exec COMPONENT runtime)
install(DIRECTORY DESTINATION config/xcfg COMPONENT runtime)
install(DIRECTORY DESTINATION common COMPONENT runtime)
# Links are made where the files go: DESTDIR (cpack stages with it) in
# front of the prefix in force when installing.
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  message(STATUS \"Linking: \${root}/shlib -> ${QRV_SHLIB_LINK}, \${root}/common/lib -> ${QRV_COMMON_LIB_LINK}\")
  file(MAKE_DIRECTORY \"\${root}/common\")
  file(REMOVE \"\${root}/shlib\" \"\${root}/common/lib\")
  file(CREATE_LINK \"${QRV_SHLIB_LINK}\" \"\${root}/shlib\" SYMBOLIC)
  file(CREATE_LINK \"${QRV_COMMON_LIB_LINK}\" \"\${root}/common/lib\" SYMBOLIC)
" COMPONENT runtime)

# Debian packages: "qrvbasic" (runtime) and "qrvbasic-dev" (development),
# installed under /opt/qrvbasic so that the library finds its installation
# in the folder above lib/.
set(CPACK_PACKAGE_NAME qrvbasic)
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel packaging <packaging@quorvel.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /opt/qrvbasic)
set(CPACK_GENERATOR DEB)
set(CPACK_COMPONENTS_ALL runtime development)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME qrvbasic)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME qrvbasic-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "qrvbasic (= ${PROJECT_VERSION}), gcc, g++, binutils")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Quorvel basic runtime library: shared library, configuration, messages and translators")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "Quorvel basic runtime library: headers, static library, qrvcc, qrvar and qrvnlsc")
include(CPack)
