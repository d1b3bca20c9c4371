// The program's resources for the terminal and headless backends: the same dialog templates, texts
// and icon ids as the .rc, from the same text headers.
#pragma once

#include "ui/resources.h"

const ResourceTable& AppResources(void);
