# Tests of the pixel kernels, included from tests/CMakeLists.txt.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)

add_executable(lumivex_test_kernels ${CMAKE_CURRENT_LIST_DIR}/tst_kernels.cpp)
set_target_properties(lumivex_test_kernels PROPERTIES AUTOMOC ON)
target_link_libraries(lumivex_test_kernels PRIVATE lumivex_core Qt6::Test)
if(COMMAND lumivex_target_defaults)
    lumivex_target_defaults(lumivex_test_kernels)
endif()

add_test(NAME lumivex_test_kernels COMMAND lumivex_test_kernels)
set_tests_properties(lumivex_test_kernels PROPERTIES
    ENVIRONMENT QT_QPA_PLATFORM=offscreen
    LABELS kernels
    TIMEOUT 600)
