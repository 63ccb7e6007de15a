#pragma once

// Once per start, before the first launch: the tool, the DLLs directly beside it, InstallDir and every
// folder above it, in that order, until the first object that someone the service does not trust may
// change. That finding is reported as event 4, or as warning 5 when ToolFolderCheck is 0. False when
// the tool must not be started.
bool CheckToolFolder();
