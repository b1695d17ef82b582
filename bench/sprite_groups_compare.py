#!/usr/bin/python3
"""Runs the sprite benchmark beside pygame's sprite groups on the same scene: 200 sprites of 64 x 64
with a round alpha channel moving over a 1920x1080 picture (SDL's dummy video driver). A frame of
pygame's is what a pygame game does with dirty rectangles: RenderUpdates.clear with the picture,
every sprite one step on, RenderUpdates.draw, display.update of the rectangles drawn. Prints the
time per frame of both and the ratio."""
import json
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pygame_setup  # noqa: E402

W, H, SIDE, SPRITES = 1920, 1080, 64, 200


def start_movers():
    """The same spread and speeds as sprite_groups_bench.cpp."""
    seed = 12345
    movers = []

    def nxt(rng):
        nonlocal seed
        seed = (seed * 1103515245 + 12345) & 0xFFFFFFFF
        return (seed >> 16) % rng

    for _ in range(SPRITES):
        x = nxt(W - SIDE)
        y = nxt(H - SIDE)
        dx = (nxt(4) + 1) * (1 if nxt(2) else -1)
        dy = (nxt(4) + 1) * (1 if nxt(2) else -1)
        movers.append([x, y, dx, dy])
    return movers


def ours_ms_per_frame(build, runs):
    """The least time per frame of `runs` repetitions of the benchmark, as pygame's best run is
    taken: the machine's other work makes single runs differ."""
    out = subprocess.run([os.path.join(build, "bin", "sprite_groups_bench"),
                          "--benchmark_repetitions=%d" % runs, "--benchmark_format=json"],
                         check=True, capture_output=True, text=True).stdout
    times = [b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
             for b in json.loads(out)["benchmarks"]
             if b.get("run_type", "iteration") == "iteration" and not b.get("error_occurred")]
    return min(times) if times else None


def pygame_ms_per_frame(frames, runs):
    pygame, screen = pygame_setup.open_display(W, H)
    picture = pygame.Surface((W, H)).convert()
    for y in range(H):
        for x in range(0, W, 40):
            b = 160 if (x // 40 + y // 40) % 2 else 60
            for i in range(x, min(x + 40, W)):
                picture.set_at((i, y), (i * 255 // W, y * 255 // H, b))
    alpha = []
    for y in range(SIDE):
        for x in range(SIDE):
            dx, dy = 2 * x - SIDE + 1, 2 * y - SIDE + 1
            d, r = dx * dx + dy * dy, SIDE * SIDE
            alpha.append(255 if d <= r * 3 // 4 else (128 if d <= r else 0))

    Mover = pygame_setup.mover_class(pygame, W, H, SIDE)

    def ball(i, m):
        colour = (0x3060A0 * (i % 5 + 1)) & 0xFFFFFF
        image = pygame.Surface((SIDE, SIDE), pygame.SRCALPHA)
        for y in range(SIDE):
            for x in range(SIDE):
                c = colour ^ (x * 2)
                image.set_at((x, y), (c >> 16 & 255, c >> 8 & 255, c & 255, alpha[y * SIDE + x]))
        return Mover(image.convert_alpha(), m)

    group = pygame.sprite.RenderUpdates([ball(i, m) for i, m in enumerate(start_movers())])
    screen.blit(picture, (0, 0))
    pygame.display.update(group.draw(screen))
    best = None
    for _ in range(runs):
        ms = pygame_setup.ms_per_frame(pygame, screen, group, picture, frames)
        best = ms if best is None else min(best, ms)
    pygame.display.quit()
    return best


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-release"
    ours = ours_ms_per_frame(build, 5)
    theirs = pygame_ms_per_frame(200, 5)
    print("%-34s %10s %12s %10s" % ("frame", "ours ms", "pygame ms", "ours/pg"))
    if ours is None:
        print("%-34s %10s %12.3f" % ("200 sprites 64x64 alpha, 1080p", "-", theirs))
        return
    print("%-34s %10.3f %12.3f %10.2f" % ("200 sprites 64x64 alpha, 1080p", ours, theirs, ours / theirs))


if __name__ == "__main__":
    main()
