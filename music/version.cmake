# qm_write_music_version(DIR VERSION): writes DIR/quillmere/music_version.h,
# the library's version as numbers and text, from VERSION ("1.2.3");
# quillmere/music.h includes it. The version itself is project()'s.
function(qm_write_music_version dir version)
  string(REPLACE "." ";" parts "${version}")
  list(GET parts 0 QM_VERSION_MAJOR)
  list(GET parts 1 QM_VERSION_MINOR)
  list(GET parts 2 QM_VERSION_PATCH)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/include/quillmere/music_version.h.in
    ${dir}/quillmere/music_version.h @ONLY)
endfunction()
