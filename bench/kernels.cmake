# Timing of the pixel kernels against their literal definitions, included
# from bench/CMakeLists.txt. Run lumivex_bench_kernels from an optimised build.
add_executable(lumivex_bench_kernels ${CMAKE_CURRENT_LIST_DIR}/bench_kernels.cpp)
target_link_libraries(lumivex_bench_kernels PRIVATE lumivex_core)
if(COMMAND lumivex_target_defaults)
    lumivex_target_defaults(lumivex_bench_kernels)
endif()
