# The resources of a Windows program (res/windows/tarvik.rc): the icons 128
# (the application), 129 (the tray) and 130 (the tray during an alarm), the
# version of the project and the manifest. Each program compiles the script
# with its own name and description; calling this twice for one program
# adds them once (the top-level CMakeLists.txt calls it for every program
# of the zip, tarvikw included once it exists).
#   tarvik_windows_resources(TARGET DESCRIPTION)
function(tarvik_windows_resources target description)
    get_target_property(done ${target} TARVIK_WINDOWS_RESOURCES)
    if(done)
        return()
    endif()
    set_target_properties(${target} PROPERTIES TARVIK_WINDOWS_RESOURCES ON)
    get_target_property(tarvik_program_name ${target} OUTPUT_NAME)
    if(NOT tarvik_program_name)
        set(tarvik_program_name ${target})
    endif()
    set(tarvik_program_file ${tarvik_program_name}${CMAKE_EXECUTABLE_SUFFIX})
    set(tarvik_program_description "${description}")
    set(info_dir ${CMAKE_BINARY_DIR}/res/windows/${target})
    configure_file(${PROJECT_SOURCE_DIR}/res/windows/program_info.h.in ${info_dir}/program_info.h
                   @ONLY)
    target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/res/windows/tarvik.rc)
    # windres's dependency scan does not see the files the script names: a
    # redrawn icon or a changed manifest would leave a stale resource object.
    set_property(SOURCE ${PROJECT_SOURCE_DIR}/res/windows/tarvik.rc TARGET_DIRECTORY ${target}
                 APPEND PROPERTY OBJECT_DEPENDS
                 ${PROJECT_SOURCE_DIR}/res/icons/tarvik.ico ${PROJECT_SOURCE_DIR}/res/icons/tray.ico
                 ${PROJECT_SOURCE_DIR}/res/icons/tray-alarm.ico
                 ${PROJECT_SOURCE_DIR}/res/windows/tarvik.manifest)
    # windres looks for the icons and the manifest on the include path.
    target_include_directories(${target} PRIVATE
        $<$<COMPILE_LANGUAGE:RC>:${info_dir};${PROJECT_SOURCE_DIR}/res/icons;${PROJECT_SOURCE_DIR}/res/windows>)
endfunction()
