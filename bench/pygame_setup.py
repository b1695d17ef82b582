"""What the comparisons with pygame's sprite groups share: pygame on SDL's dummy video driver with a
display of the scene's size, sprites that move one step a frame and bounce off the display's edges
as the benchmarks' movers do, and the time of the frames a pygame game with dirty rectangles draws:
RenderUpdates.clear with the background, every sprite one step on, RenderUpdates.draw,
display.update of the rectangles drawn."""
import os
import time


def open_display(width, height):
    """pygame, imported for SDL's dummy video driver and without its greeting, and its display of
    width x height."""
    os.environ["SDL_VIDEODRIVER"] = "dummy"
    os.environ["PYGAME_HIDE_SUPPORT_PROMPT"] = "1"
    import pygame

    pygame.display.init()
    return pygame, pygame.display.set_mode((width, height))


def mover_class(pygame, width, height, side):
    """A sprite class made of an image of side x side and a mover [x, y, dx, dy]: each update moves
    it by dx, dy, and a step that leaves the width x height display turns that speed round and
    goes back as far as it went out."""

    class Mover(pygame.sprite.Sprite):
        def __init__(self, image, m):
            super().__init__()
            self.image = image
            self.m = m
            self.rect = self.image.get_rect(topleft=(m[0], m[1]))

        def update(self):
            m = self.m
            m[0] += m[2]
            if m[0] < 0 or m[0] > width - side:
                m[2] = -m[2]
                m[0] += 2 * m[2]
            m[1] += m[3]
            if m[1] < 0 or m[1] > height - side:
                m[3] = -m[3]
                m[1] += 2 * m[3]
            self.rect.topleft = (m[0], m[1])

    return Mover


def ms_per_frame(pygame, screen, group, background, frames):
    """The time per frame, in milliseconds, of `frames` frames of the RenderUpdates group over
    background on screen."""
    start = time.perf_counter()
    for _ in range(frames):
        group.clear(screen, background)
        group.update()
        pygame.display.update(group.draw(screen))
    return (time.perf_counter() - start) * 1000.0 / frames
