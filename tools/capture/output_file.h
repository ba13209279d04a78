// output_file.h: the capture's output file, written so that nothing but a
// finished file ever stands at the path asked for. The target is checked
// before any work (it may not be one of the inputs, nor exist unless it may
// be replaced, nor lie where nothing can be written); the video goes to a
// temporary file beside it, renamed over the target at the end; a failure,
// SIGINT, SIGTERM or SIGHUP removes the temporary file.
// Owns: the temporary file while it exists. Touches: the file system and
// the process's signal dispositions. Thread: main thread.
//
//   OutputFile out;
//   guard_output_against_signals();
//   if (!output_prepare(out, path, force, inputs, why)) ...refuse...
//   ... write out.temp ...
//   ok ? output_commit(out, why) : output_discard(out);
#pragma once
#include <string>
#include <vector>

struct OutputFile {
  std::string target;  // the path asked for
  std::string temp;    // the temporary file beside it; empty when there is none
};

// Makes SIGINT, SIGTERM and SIGHUP remove the temporary file (if any) and
// then end the process as the signal asks (a signal ignored when the
// process started stays ignored); ignores SIGXFSZ, so a file size limit
// shows as a write error. Call once, before output_prepare.
void guard_output_against_signals();

// Checks target and creates the temporary file beside it. inputs are the
// files the capture reads (compared by device and inode, so no name, link
// or relative path lets the capture write over one). False, with the
// reason in why and nothing created, when the output is refused.
bool output_prepare(OutputFile& out, const std::string& target, bool force, const std::vector<std::string>& inputs,
                    std::string& why);

// Renames the finished temporary file to the target. False, with the
// reason in why and the temporary file removed, when that fails.
bool output_commit(OutputFile& out, std::string& why);

// Removes the temporary file, if any.
void output_discard(OutputFile& out);
