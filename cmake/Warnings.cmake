# The warnings are on in every build. They become errors only where asked for: the project's own
# checks (scripts/test.sh, CI) turn TARNWICK_WERROR on; packagers and users build with their own
# flags and a newer compiler's new warning must not break their build.
option(TARNWICK_WERROR "Treat compiler warnings as errors" OFF)

add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wsign-conversion
                    -Wnon-virtual-dtor -Wold-style-cast)
if(TARNWICK_WERROR)
    add_compile_options(-Werror)
endif()
# At -O3 (Release) GCC 12 inlines std::string's operator+ and then warns, falsely, that the
# memcpy inside libstdc++ may overlap. The warning stays on at every other level.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    add_compile_options($<$<CONFIG:Release>:-Wno-restrict>)
endif()

if(TARNWICK_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

if(TARNWICK_FUZZ)
    # Coverage for libFuzzer in the core as well as in the targets.
    add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
