#include "app/TNLastActionResult.h"

TNLastActionResult &TNLastActionResult::defaultActionResult()
{
    static TNLastActionResult shared;
    return shared;
}
