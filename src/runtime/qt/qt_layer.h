// Installing the Qt window layer for the process. Needs no Qt header.
#pragma once

namespace rt::qt {

// Creates the application object (once; argc and argv must outlive it) and
// makes the Qt window layer the process's window layer.
void InstallQtLayer(int& argc, char** argv);
// Uninstalls the layer and destroys the application object.
void RemoveQtLayer();

}  // namespace rt::qt
