# Hardening of what we build: position-independent programs (PIE), stack
# protector on functions with arrays or address-taken locals, read-only
# relocations bound at start (full RELRO), and, in optimised builds, the C
# library's checked string and memory calls (_FORTIFY_SOURCE, level 3 where
# the compiler and the C library have it). The checked calls need the
# optimiser and would hide overflows from AddressSanitizer's own checks, so
# the sanitizer and fuzz builds go without them.
include(CheckCXXSourceCompiles)
include(CheckPIESupported)

check_pie_supported(OUTPUT_VARIABLE pie_output LANGUAGES C CXX)
if(NOT CMAKE_CXX_LINK_PIE_SUPPORTED)
    message(FATAL_ERROR "The linker cannot make position-independent programs: ${pie_output}")
endif()
# Compiles with -fPIE (-fPIC in libraries) and links programs with -pie.
set(CMAKE_POSITION_INDEPENDENT_CODE ON)

target_compile_options(tolvane_settings INTERFACE -fstack-protector-strong)
target_link_options(tolvane_settings INTERFACE LINKER:-z,relro,-z,now)

if(NOT TOLVANE_SANITIZE AND NOT TOLVANE_FUZZ)
    set(CMAKE_REQUIRED_FLAGS "-O2 -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3")
    check_cxx_source_compiles([[
        #include <cstring>
        #if !defined(__USE_FORTIFY_LEVEL) || __USE_FORTIFY_LEVEL < 3
        #error no level 3
        #endif
        int main() { return 0; }]] TOLVANE_HAVE_FORTIFY_3)
    unset(CMAKE_REQUIRED_FLAGS)
    if(TOLVANE_HAVE_FORTIFY_3)
        set(fortify_level 3)
    else()
        set(fortify_level 2)
    endif()
    set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    target_compile_options(tolvane_settings INTERFACE
        "$<${optimised}:-U_FORTIFY_SOURCE>" "$<${optimised}:-D_FORTIFY_SOURCE=${fortify_level}>")
endif()
