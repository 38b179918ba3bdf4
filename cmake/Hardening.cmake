# The distribution's hardening flags, for every program and library built here: the stack
# protector, stack clash protection, control-flow protection (where the target has it),
# position-independent executables, read-only relocations bound at start-up, and
# _FORTIFY_SOURCE=2 where the build type optimises (glibc's checks need the optimiser; without
# it the definition only draws a warning).
#
# The sanitizer build, which is never shipped, links without the control-flow marks (its
# linker does not know them). The sanitizer and fuzz builds leave _FORTIFY_SOURCE out: the
# checked variants of the string functions it substitutes bypass the sanitizers' own
# interceptors. A _FORTIFY_SOURCE the builder put in CMAKE_CXX_FLAGS is left as given.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
include(CheckPIESupported)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(LANGUAGES CXX)

# Windows probes every large stack frame page by page already (__chkstk), and mingw's
# compiler cannot unwind through the clash protection's probes.
set(hardening_flags -fstack-protector-strong -fstack-clash-protection -fcf-protection)
if(WIN32)
    list(REMOVE_ITEM hardening_flags -fstack-clash-protection)
endif()
foreach(flag ${hardening_flags})
    string(MAKE_C_IDENTIFIER "QARN3_HAS${flag}" has_flag)
    check_cxx_compiler_flag(${flag} ${has_flag})
    if(${has_flag})
        add_compile_options(${flag})
    endif()
endforeach()
if(WIN32)
    # The PE counterparts: address-space randomisation (64-bit), no execution of data; and
    # the stack protector's and the checked functions' library (libssp), which mingw's
    # compiler links only when told at the link too.
    add_link_options(LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat
        -fstack-protector-strong)
else()
    add_link_options(LINKER:-z,relro LINKER:-z,now)
endif()

# Every object compiled here carries the control-flow marks, but Debian 12's C start files
# (Scrt1.o, crti.o, crtn.o) carry no CET property, and the linker drops the property from a
# program when any input lacks it. The linker sets it instead; no Linux kernel enforces
# indirect-branch tracking in user space, and the start files keep to the shadow stack's rule
# (every return goes where its call came from).
if(QARN3_HAS_fcf_protection AND NOT QARN3_SANITIZE AND NOT WIN32)
    check_linker_flag(CXX LINKER:-z,ibt,-z,shstk QARN3_LINKER_HAS_CET)
    if(QARN3_LINKER_HAS_CET)
        add_link_options(LINKER:-z,ibt,-z,shstk)
    endif()
endif()

if(NOT QARN3_SANITIZE AND NOT QARN3_FUZZ AND NOT CMAKE_CXX_FLAGS MATCHES "_FORTIFY_SOURCE")
    # Some compilers define it themselves when optimising; ours replaces theirs.
    set(optimising $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
    add_compile_options($<${optimising}:-U_FORTIFY_SOURCE> $<${optimising}:-D_FORTIFY_SOURCE=2>)
endif()
