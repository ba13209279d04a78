// main.cpp: entry of the desktop show. Lets the platform prepare the
// process, reads the command line, takes the platform's presenter and sound
// device, then runs the demo and ends the process with its status.
// Owns: nothing beyond the run. Thread: main thread.
#include "app/command_line.h"
#include "app/demo_app.h"
#include "app/desktop_platform.h"

int main(int argc, char** argv) {
  desktop_prepare_process();
  ShowOptions options;
  switch (parse_command_line(argc, argv, options)) {
    case COMMAND_HELP:
      return print_help();
    case COMMAND_VERSION:
      return print_version();
    case COMMAND_BAD:
      return STATUS_BAD_COMMAND_LINE;
    case COMMAND_RUN:
      break;
  }
  qm::AudioDevice* audio = options.mute ? nullptr : desktop_audio_device_create();
  int status = STATUS_DONE;
  {
    DemoApp app(options, desktop_presenter(), audio);
    status = app.run();
  }
  desktop_audio_device_destroy(audio);
  return status;
}
