#!/usr/bin/python3
"""The layer scene beside pygame: 100 brushes of 128x128 with an alpha channel moving on a 1920x1080
display for 600 frames. Ours is the whole applet bench/layer_scene.asm, assembled with the build's
qzasm and run by its release player with the headless driver (one move list per frame: the moved
layers' old and new areas are redrawn and presented); the applet prints the time of its 600
frames. pygame (SDL's dummy video driver) does the same blits as a pygame game with dirty
rectangles: RenderUpdates.clear with the background, every sprite one step on, RenderUpdates.draw,
display.update of the rectangles drawn. Prints the time per frame of both, the ratio, and whether
ours stays within the budget of 8 ms per frame."""
import os
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pygame_setup  # noqa: E402

W, H, SIDE, LAYERS, FRAMES, RUNS = 1920, 1080, 128, 100, 600, 3
BACKGROUND = 0x203040
BUDGET_MS = 8.0


def start_movers():
    """The start positions and speeds of the applet, by layer number 1 to 100."""
    movers = []
    for i in range(1, LAYERS + 1):
        dx = i % 4 + 1
        if i % 8 >= 4:
            dx = -dx
        dy = i * 7 % 5 + 1
        if i % 3 == 0:
            dy = -dy
        movers.append([i * 613 % (W - SIDE), i * 397 % (H - SIDE), dx, dy])
    return movers


def ours_ms_per_frame(build, runs):
    """The least time per frame of `runs` runs of the applet through the release player."""
    here = os.path.dirname(os.path.abspath(__file__))
    build = os.path.abspath(build)
    best = None
    with tempfile.TemporaryDirectory() as tmp:
        applet = os.path.join(tmp, "layer_scene.qza")
        subprocess.run([os.path.join(build, "bin", "qzasm"), os.path.join(here, "layer_scene.asm"), "-o", applet],
                       check=True)
        env = dict(os.environ, QUARNELIX_DRIVER="headless")
        for _ in range(runs):
            out = subprocess.run([os.path.join(build, "bin", "qzplayer"), "-QUIET", "-DEBUGDEVICE", "stdout", applet],
                                 cwd=tmp, env=env, check=True, capture_output=True, text=True).stdout
            ms = float(out.split()[-1]) / FRAMES
            best = ms if best is None else min(best, ms)
    return best


def pygame_ms_per_frame(runs):
    pygame, screen = pygame_setup.open_display(W, H)
    background = pygame.Surface((W, H)).convert()
    background.fill(BACKGROUND)
    Mover = pygame_setup.mover_class(pygame, W, H, SIDE)

    def ball(i, m):
        """The applet's brush: a half transparent ring round an opaque disc, transparent corners."""
        colour = i * 0x2F1D3B % 0x1000000
        image = pygame.Surface((SIDE, SIDE), pygame.SRCALPHA)
        image.fill((colour >> 16 & 255, colour >> 8 & 255, colour & 255, 0))
        rgb = (colour >> 16 & 255, colour >> 8 & 255, colour & 255)
        pygame.draw.circle(image, rgb + (128,), (63, 63), 63)
        pygame.draw.circle(image, rgb + (255,), (63, 63), 53)
        return Mover(image.convert_alpha(), m)

    best = None
    for _ in range(runs):
        group = pygame.sprite.RenderUpdates([ball(i + 1, m) for i, m in enumerate(start_movers())])
        screen.blit(background, (0, 0))
        pygame.display.update(group.draw(screen))
        ms = pygame_setup.ms_per_frame(pygame, screen, group, background, FRAMES)
        best = ms if best is None else min(best, ms)
    pygame.display.quit()
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    ours = ours_ms_per_frame(build, RUNS)
    theirs = pygame_ms_per_frame(RUNS)
    title = "%d layers %dx%d alpha, 1080p" % (LAYERS, SIDE, SIDE)
    print("%-34s %10s %12s %10s" % ("frame (best of %d runs)" % RUNS, "ours ms", "pygame ms", "ours/pg"))
    print("%-34s %10.3f %12.3f %10.2f" % (title, ours, theirs, ours / theirs))
    print("budget %.0f ms per frame: %s" % (BUDGET_MS, "ok" if ours <= BUDGET_MS else "over"))


if __name__ == "__main__":
    main()
