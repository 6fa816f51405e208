# One place for the language level, warnings and Qt strictness; every target links corvane_config.
add_library(corvane_config INTERFACE)
target_compile_features(corvane_config INTERFACE cxx_std_20)
target_compile_options(corvane_config INTERFACE -Wall -Wextra -Werror)
target_compile_definitions(corvane_config INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CAST_TO_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_NO_KEYWORDS
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
set(CMAKE_CXX_EXTENSIONS OFF)

if(CORVANE_SANITIZE)
    target_compile_options(corvane_config INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                    -fno-sanitize-recover=undefined)
    target_link_options(corvane_config INTERFACE -fsanitize=address,undefined)
endif()
