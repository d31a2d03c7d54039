# Binary packages. `cpack -G DEB` in a build directory produces
# lumivex_<version>_<arch>.deb for Debian-based systems.

include(GNUInstallDirs)

set(CPACK_PACKAGE_NAME "lumivex")
set(CPACK_PACKAGE_VENDOR "Lumivex developers")
set(CPACK_PACKAGE_CONTACT "Lumivex developers <dev@lumivex.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The summary becomes the Description line of the .deb, the description its
# extended text.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small desktop raster-image editor")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumivex opens photos and other raster images (PNG, JPEG, BMP, GIF, TIFF,\nWebP), crops them, applies filters and saves the result.")
set(CPACK_PACKAGE_HOMEPAGE_URL "${PROJECT_HOMEPAGE_URL}")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Lumivex")
set(CPACK_PACKAGE_EXECUTABLES "lumivex" "Lumivex")
set(CPACK_STRIP_FILES ON)

if(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    set(CPACK_GENERATOR "DEB")
    set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
    # Directories in the package are 0755 whatever the umask of the builder.
    set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
        OWNER_READ OWNER_WRITE OWNER_EXECUTE
        GROUP_READ GROUP_EXECUTE
        WORLD_READ WORLD_EXECUTE)
endif()

set(CPACK_DEBIAN_PACKAGE_NAME "lumivex")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Lumivex developers <dev@lumivex.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION "graphics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PROJECT_HOMEPAGE_URL}")

# Library dependencies come from dpkg-shlibdeps (libqt6core6, libqt6gui6,
# libqt6widgets6, libstdc++6, ...). Qt loads some of what the program needs as
# plugins at run time, which dpkg-shlibdeps cannot see:
#  - qt6-image-formats-plugins: the TIFF and WebP readers and writers;
#  - the platform plugins: on Debian the X11 one (libqxcb.so) ships in
#    libqt6gui6, already pulled in above; the native Wayland one is in
#    qt6-wayland, recommended (XWayland runs the program without it);
#    (qt6-qpa-plugins holds only the VNC and touch-input plugins, so it is not
#    needed).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

set(CPACK_SOURCE_GENERATOR "TGZ")
set(CPACK_SOURCE_IGNORE_FILES
    "/\\\\.git/"
    "/build[^/]*/"
    "/\\\\.cache/"
    "~$")

include(CPack)
