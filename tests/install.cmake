# Tests for the shipped resources and the install tree. Included from
# tests/CMakeLists.txt; runs after the lumivex and lumivex_makeicon targets
# exist.

include(GNUInstallDirs)

# The committed icon files must be exactly what lumivex_makeicon draws.
add_test(NAME lumivex_test_icons
    COMMAND ${CMAKE_COMMAND}
        -DMAKEICON=$<TARGET_FILE:lumivex_makeicon>
        -DCOMMITTED=${PROJECT_SOURCE_DIR}/resources
        -DWORKDIR=${CMAKE_CURRENT_BINARY_DIR}/lumivex_test_icons
        -P ${CMAKE_CURRENT_LIST_DIR}/check_icons.cmake)
set_tests_properties(lumivex_test_icons PROPERTIES LABELS install)

# Install into a scratch prefix and check every file landed.
if(UNIX AND NOT APPLE)
    find_program(LUMIVEX_DESKTOP_FILE_VALIDATE desktop-file-validate)
    if(LUMIVEX_DESKTOP_FILE_VALIDATE)
        set(_lumivex_dfv "${LUMIVEX_DESKTOP_FILE_VALIDATE}")
    else()
        message(STATUS "desktop-file-validate not found: the install test will not validate the desktop entry")
        set(_lumivex_dfv "")
    endif()

    add_test(NAME lumivex_test_install
        COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/check_install.sh
            ${CMAKE_BINARY_DIR}
            ${CMAKE_CURRENT_BINARY_DIR}/lumivex_test_install
            $<CONFIG>
            ${CMAKE_INSTALL_BINDIR}
            ${CMAKE_INSTALL_DATADIR}
            "${_lumivex_dfv}")
    set_tests_properties(lumivex_test_install PROPERTIES LABELS install)
    unset(_lumivex_dfv)
endif()
