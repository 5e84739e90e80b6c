# Where an installation puts things, fixed before the targets are made: the programs find their
# private libraries through an RPATH relative to themselves, so an installed tree runs wherever it
# was installed (a prefix, /usr, a package root) without LD_LIBRARY_PATH.
include(GNUInstallDirs)

# The libraries are private to Tallon (no headers, no stable ABI): they live in a folder of their
# own, as Debian asks of private libraries, not in the system's library folder.
set(ZYN_INSTALL_PRIVATE_LIBDIR "lib/tallon" CACHE STRING "Folder of Tallon's own libraries, relative to the prefix")
set(ZYN_INSTALL_DATADIR "${CMAKE_INSTALL_DATADIR}/tallon")
file(RELATIVE_PATH ZYN_LIBDIR_FROM_BINDIR "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${ZYN_INSTALL_PRIVATE_LIBDIR}")
file(RELATIVE_PATH ZYN_DATADIR_FROM_BINDIR "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${ZYN_INSTALL_DATADIR}")

# zyn_install_programs(target ...): into bin/, finding the private libraries from there.
function(zyn_install_programs)
  foreach(target ${ARGN})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN/${ZYN_LIBDIR_FROM_BINDIR}")
    install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endforeach()
endfunction()

# zyn_install_libraries(target ...): into the private library folder, finding their neighbours.
function(zyn_install_libraries)
  foreach(target ${ARGN})
    set_target_properties(${target} PROPERTIES INSTALL_RPATH "$ORIGIN")
    install(TARGETS ${target} LIBRARY DESTINATION ${ZYN_INSTALL_PRIVATE_LIBDIR})
  endforeach()
endfunction()
