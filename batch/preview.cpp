#include "batch/preview.h"

#include "batch/rotation.h"
#include "imagefiles/imaging.h"
#include "imagefiles/picture/transform.h"

namespace zentavo {

Picture previewAfter(const Picture& before, const JobOptions& options) {
    switch (options.operation()) {
        case Operation::None:
            return before;
        case Operation::Flip: {
            Picture after = before;
            const FlipDirection direction = options.flipDirection();
            if (direction != FlipDirection::None) {
                mirrorPicture(after, direction == FlipDirection::Horizontal ? Mirror::Horizontal
                                                                            : Mirror::Vertical);
            }
            return after;
        }
        case Operation::Rotate:
            break;
    }
    // As a rotate run draws a file: the canvas and points of the rotation text, then the draw,
    // which moves the pixels exactly for a right angle.
    ImageObject image;
    image.setPicture(before);
    const RotationGeometry geometry =
        CalcRotation(options.degrees(), image.Width(), image.Height());
    Picture canvas;
    GraphicsObject graphics;
    graphics.Bind(canvas, geometry.canvas);
    graphics.SetRenderingModes(4, 2);
    graphics.DrawImagePoints(image, geometry.points.data());
    graphics.Release();
    return canvas;
}

}  // namespace zentavo
