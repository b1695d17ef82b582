; The layer scene of bench/layer_scene_compare.py: a 1920x1080 display with layers on, 100 brushes
; of 128x128 with an alpha channel (a half transparent ring round an opaque disc, transparent
; corners) shown as layers, then 600 frames in which every layer moves a few pixels (bouncing off
; the edges) through one move list per frame (AddMove, DoMove, ClearMove). Prints the milliseconds
; of the 600 frames, timed from the first move to the last refresh.
.applet
.record 10 u8 6 u8 0
.function main
  .source "@layer_scene.qzs"
  .line 1
    NEWTABLE r3 0 0
    SETTABLE r3 "width" 1920
    SETTABLE r3 "height" 1080
    SETTABLE r3 "color" 0x203040
    LOADBOOL r4 1 0
    SETTABLE r3 "layers" r4
    GETGLOBAL r0 "createdisplay"
    LOADK r1 2
    MOVE r2 r3
    CALL r0 3 1
    GETGLOBAL r0 "opendisplay"
    LOADK r1 2
    CALL r0 2 1
    GETGLOBAL r0 "setfillstyle"
    LOADK r1 1
    CALL r0 2 1
    ; r20..r23: x, y, dx, dy of every layer, by layer number
    NEWTABLE r20 0 0
    NEWTABLE r21 0 0
    NEWTABLE r22 0 0
    NEWTABLE r23 0 0
    ; for i = 1, 100 (r10): a brush, its alpha channel, its start and speed, its layer
    LOADK r10 1
    LOADK r11 100
    LOADK r12 1
    SUB r10 r10 r12
    JMP make_test
make_body:
    ; colour (i * 0x2F1D3B) mod 0x1000000
    MUL r13 r10 0x2F1D3B
    MOD r13 r13 0x1000000
    GETGLOBAL r0 "createbrush"
    MOVE r1 r10
    LOADK r2 128
    LOADK r3 128
    MOVE r4 r13
    CALL r0 5 1
    GETGLOBAL r0 "selectalphachannel"
    MOVE r1 r10
    CALL r0 2 1
    GETGLOBAL r0 "setalphaintensity"
    LOADK r1 0
    CALL r0 2 1
    GETGLOBAL r0 "cls"
    CALL r0 1 1
    GETGLOBAL r0 "setalphaintensity"
    LOADK r1 128
    CALL r0 2 1
    GETGLOBAL r0 "circle"
    LOADK r1 0
    LOADK r2 0
    LOADK r3 63
    CALL r0 4 1
    GETGLOBAL r0 "setalphaintensity"
    LOADK r1 255
    CALL r0 2 1
    GETGLOBAL r0 "circle"
    LOADK r1 10
    LOADK r2 10
    LOADK r3 53
    CALL r0 4 1
    GETGLOBAL r0 "endselect"
    CALL r0 1 1
    ; x = (i * 613) mod 1792, y = (i * 397) mod 952
    MUL r14 r10 613
    MOD r14 r14 1792
    SETTABLE r20 r10 r14
    MUL r15 r10 397
    MOD r15 r15 952
    SETTABLE r21 r10 r15
    ; dx = i mod 4 + 1, negative when i mod 8 >= 4; dy = (i * 7) mod 5 + 1, negative when i mod 3 = 0
    MOD r16 r10 4
    ADD r16 r16 1
    MOD r17 r10 8
    LT 1 r17 4
    JMP dx_done
    UNM r16 r16
dx_done:
    SETTABLE r22 r10 r16
    MUL r16 r10 7
    MOD r16 r16 5
    ADD r16 r16 1
    MOD r17 r10 3
    EQ 0 r17 0
    JMP dy_done
    UNM r16 r16
dy_done:
    SETTABLE r23 r10 r16
    GETGLOBAL r0 "displaybrush"
    MOVE r1 r10
    MOVE r2 r14
    MOVE r3 r15
    CALL r0 4 1
make_test:
    FORLOOP r10 make_body
    GETGLOBAL r0 "starttimer"
    LOADK r1 1
    CALL r0 2 1
    ; for frame = 1, 600 (r30)
    LOADK r30 1
    LOADK r31 600
    LOADK r32 1
    SUB r30 r30 r32
    JMP frame_test
frame_body:
    ; for i = 1, 100 (r33): the next position, then AddMove(1, #LAYER, i, x, y)
    LOADK r33 1
    LOADK r34 100
    LOADK r35 1
    SUB r33 r33 r35
    JMP move_test
move_body:
    GETTABLE r14 r20 r33
    GETTABLE r16 r22 r33
    ADD r14 r14 r16
    LT 1 r14 0
    JMP x_bounce
    LT 1 1792 r14
    JMP x_bounce
    JMP x_done
x_bounce:
    UNM r16 r16
    SETTABLE r22 r33 r16
    ADD r14 r14 r16
    ADD r14 r14 r16
x_done:
    SETTABLE r20 r33 r14
    GETTABLE r15 r21 r33
    GETTABLE r17 r23 r33
    ADD r15 r15 r17
    LT 1 r15 0
    JMP y_bounce
    LT 1 952 r15
    JMP y_bounce
    JMP y_done
y_bounce:
    UNM r17 r17
    SETTABLE r23 r33 r17
    ADD r15 r15 r17
    ADD r15 r15 r17
y_done:
    SETTABLE r21 r33 r15
    GETGLOBAL r0 "addmove"
    LOADK r1 1
    LOADK r2 22
    MOVE r3 r33
    MOVE r4 r14
    MOVE r5 r15
    CALL r0 6 1
move_test:
    FORLOOP r33 move_body
    GETGLOBAL r0 "domove"
    LOADK r1 1
    CALL r0 2 1
    GETGLOBAL r0 "clearmove"
    LOADK r1 1
    CALL r0 2 1
frame_test:
    FORLOOP r30 frame_body
    GETGLOBAL r0 "gettimer"
    LOADK r1 1
    CALL r0 2 2
    MOVE r1 r0
    GETGLOBAL r0 "debugprint"
    CALL r0 2 1
    RETURN r0 1
.end
