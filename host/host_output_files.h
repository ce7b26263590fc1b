// The files velkor-host writes after its last frame (--debug-svg, --debug-png, --mesh-out) follow
// the rule of --log: never over an input of the run, never through a link, never into anything
// but a regular file. Paths are the user's own (relative to the working folder or absolute);
// where one lies inside DATA_DIR, the input places of --log are refused too. Each refusal and
// each failed write is a message naming the path and the reason.
#pragma once

#include <string>

#include "host/host_options.h"

namespace VadiZov::host {

// Checks every output the options name before the run. False with the message.
bool checkOutputs(const HostOptions& options, std::string* error);

// The picture file `path` of `option`, with the extension such a file has (".png"), `what`
// naming such a file ("a picture"): an existing file is replaced only when its name ends in it.
// False with the message.
bool checkOutputFile(const HostOptions& options, const char* option, const std::string& path,
                     const std::string& extension, const char* what, std::string* error);

// The folder --mesh-out names: missing (it is made when the meshes are written) or a real folder,
// not a link, and not one that holds inputs. False with the message.
bool checkOutputFolder(const HostOptions& options, const std::string& dir, std::string* error);

} // namespace VadiZov::host
