#pragma once

#include <QString>

class ImageViewDragDrop;

// What a language slot asks before it takes or gives up a language. Every answer defaults to
// a refusal, so a delegate only writes the rules it has.
class ImageViewDragDropDelegate
{
public:
    virtual ~ImageViewDragDropDelegate() = default;

    virtual bool isDraggedAllowed(const QString &dragged, ImageViewDragDrop *sender)
    {
        Q_UNUSED(dragged);
        Q_UNUSED(sender);
        return false;
    }
    // True when the drop was taken.
    virtual bool droppedLanguage(const QString &dropped, ImageViewDragDrop *sender)
    {
        Q_UNUSED(dropped);
        Q_UNUSED(sender);
        return false;
    }
    // True when the slot was emptied.
    virtual bool draggedOutOfFrame(ImageViewDragDrop *sender)
    {
        Q_UNUSED(sender);
        return false;
    }
};
