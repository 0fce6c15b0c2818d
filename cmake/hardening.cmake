# The hardening Debian builds its packages with: checked buffer functions where the compiler can
# check them, stack protection, position-independent programs, and read-only relocations bound
# at start-up. Linux only: Windows programs have their own protections.
if(NOT TARVEL_HARDENING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR MSVC)
  return()
endif()

include(CheckPIESupported)
check_pie_supported(LANGUAGES CXX)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

target_compile_options(tarvel_options INTERFACE -fstack-protector-strong)
# The checked functions need optimisation, and the sanitizers check the same calls themselves.
if(NOT TARVEL_SANITIZE)
  target_compile_options(tarvel_options INTERFACE
    "$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
target_link_options(tarvel_options INTERFACE LINKER:-z,relro,-z,now)
