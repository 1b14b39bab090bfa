// The office suite's spreadsheet behind the automation interface: the service manager of
// "com.sun.star.ServiceManager" with the few services a page hand-off uses (property-value
// structs, a temporary file, a text output stream and the desktop). Loading a component
// from the stream starts the suite's program on the temporary file, with the import
// filter named in the properties.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/Automation.h"

// The suite's program: QUILLMAR_OFFICE when it is set (empty: none), else "soffice" or
// "libreoffice" when found on PATH; empty when there is none.
std::string OfficeProgram();

// Starts a program detached from this one (argv[0] is the program); false when it could
// not be started. Tests replace it; nullptr restores the real one.
using TOfficeLauncher = std::function<bool(const std::vector<std::string> &argv)>;
void SetOfficeLauncher(TOfficeLauncher launcher);

// A new service manager; EOleSysError when no suite is installed.
TOleObjectPtr CreateOfficeServiceManager();
