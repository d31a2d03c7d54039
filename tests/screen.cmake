# The crop box as the X server shows it: the real window on a virtual
# display, dragged with xdotool and photographed with ImageMagick's import.
# Included from tests/CMakeLists.txt; registered only when all three tools
# are installed.
find_program(LUMIVEX_XVFB_RUN xvfb-run)
find_program(LUMIVEX_XDOTOOL xdotool)
find_program(LUMIVEX_IMPORT import)

if(LUMIVEX_XVFB_RUN AND LUMIVEX_XDOTOOL AND LUMIVEX_IMPORT)
    qt_add_executable(lumivex_test_screen
        ${CMAKE_CURRENT_LIST_DIR}/tst_screen.cpp
        ${CMAKE_CURRENT_LIST_DIR}/testsupport.h)
    target_link_libraries(lumivex_test_screen PRIVATE lumivex_core Qt6::Test)
    target_include_directories(lumivex_test_screen PRIVATE ${CMAKE_CURRENT_LIST_DIR})
    target_compile_definitions(lumivex_test_screen PRIVATE
        LUMIVEX_XDOTOOL="${LUMIVEX_XDOTOOL}"
        LUMIVEX_IMPORT="${LUMIVEX_IMPORT}")
    lumivex_target_defaults(lumivex_test_screen)
    add_test(NAME lumivex_test_screen
        COMMAND ${LUMIVEX_XVFB_RUN} -a -s "-screen 0 1280x1024x24"
                $<TARGET_FILE:lumivex_test_screen>)
    set_tests_properties(lumivex_test_screen PROPERTIES
        ENVIRONMENT "QT_QPA_PLATFORM=xcb"
        LABELS screen
        TIMEOUT 300)
else()
    message(STATUS
        "lumivex_test_screen skipped: it needs xvfb-run, xdotool and import (ImageMagick)")
endif()
