# Warnings on everywhere and kept clean; -Werror only where QZV_WERROR is set (CI sets it).
option(QZV_WERROR "Treat warnings as errors" OFF)
add_compile_options(-Wall -Wextra -Wshadow -Wformat=2 -Wundef)
if(QZV_WERROR)
  add_compile_options(-Werror)
endif()
