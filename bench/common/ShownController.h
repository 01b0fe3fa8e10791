#pragma once

#include "app/controller/TNController.h"
#include "app/list/TNMainWindow.h"

// The controller with its main window shown, set up as the application starts them. The
// controller goes first when it ends, as it does when the application quits.
struct ShownController
{
    ShownController()
    {
        window.show();
        controller.setWindow(&window);
        controller.awakeFromNib();
    }

    TNMainWindow window;
    TNController controller;
};
