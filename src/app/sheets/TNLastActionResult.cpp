#include "app/sheets/TNLastActionResult.h"

TNLastActionResult &TNLastActionResult::defaultActionResult()
{
    static TNLastActionResult shared;
    return shared;
}
