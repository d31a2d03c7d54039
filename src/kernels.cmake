# Pixel kernels of lumivex_core, included from src/CMakeLists.txt after the
# target is defined. On x86-64 with GCC or Clang the AVX2 and AVX-512 row
# kernels are built as well, each file with its own instruction-set flags,
# and LUMIVEX_X86_DISPATCH tells imagekernels.cpp to pick among them at run
# time; elsewhere only the plain C++ kernels exist.
#
# The row kernels must keep exact IEEE double arithmetic: -ffp-contract=off is
# repeated on every kernel file so no multiply-add is ever fused, and none of
# them may be built with fast-math flags.

target_sources(lumivex_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/imagekernels.h
    ${CMAKE_CURRENT_LIST_DIR}/imagekernels.cpp
    ${CMAKE_CURRENT_LIST_DIR}/pixelrows.h
    ${CMAKE_CURRENT_LIST_DIR}/pixelrows.cpp
    ${CMAKE_CURRENT_LIST_DIR}/adjustrow.h
    ${CMAKE_CURRENT_LIST_DIR}/adjustrow_scalar.cpp
)

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/adjustrow_scalar.cpp
        PROPERTIES COMPILE_OPTIONS "-ffp-contract=off")
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
        AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$"
        AND CMAKE_SIZEOF_VOID_P EQUAL 8)
    target_sources(lumivex_core PRIVATE
        ${CMAKE_CURRENT_LIST_DIR}/adjustrow_avx2.cpp
        ${CMAKE_CURRENT_LIST_DIR}/adjustrow_avx512.cpp
    )
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/adjustrow_avx2.cpp
        PROPERTIES COMPILE_OPTIONS "-mavx2;-ffp-contract=off")
    set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/adjustrow_avx512.cpp
        PROPERTIES COMPILE_OPTIONS "-mavx512f;-mavx512bw;-mavx512vl;-mavx2;-ffp-contract=off")
    target_compile_definitions(lumivex_core PRIVATE LUMIVEX_X86_DISPATCH)
endif()
