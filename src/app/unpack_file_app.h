// The application object of the stub. It has no state of its own; of the life cycle it
// replaces only InitInstance.
#pragma once

#include "app/application.h"

class CUnPackFileApp : public CApplication {
public:
    // Always FALSE: the process ends as soon as it returns.
    BOOL InitInstance() override;
};
