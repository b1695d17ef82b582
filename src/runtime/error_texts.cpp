// The built-in message catalog: the message id of every error code and the default English text
// of every message id. A locale catalog may replace a text by id; these are the defaults.
#include "runtime/error_texts.h"

#include "base/error_codes.h"

// Message id of each code, indexed by code - 999 (slot 0 is unused). Codes without an id, and the
// numbers in the built-in range that name no code, hold QZ_NO_MESSAGE_ID.
const uint32_t qzErrorMessageIds[QZ_ERROR_ID_SLOTS] = {
    QZ_NO_MESSAGE_ID,  // unused
    0,                 // 1000 ERR_MEM
    1,                 // 1001 ERR_UNIMPLCMD
    2,                 // 1002 ERR_NORETVAL
    3,                 // 1003 ERR_USERABORT
    4,                 // 1004 ERR_SCREEN
    5,                 // 1005 ERR_WRITE
    6,                 // 1006 ERR_UNTERMINTDSTR
    7,                 // 1007 ERR_UNKNOWNCOND
    8,                 // 1008 ERR_MISSINGSEPARTR
    9,                 // 1009 ERR_READ
    10,                // 1010 ERR_WINDOW
    11,                // 1011 ERR_ELSEWOIF
    12,                // 1012 ERR_ENDIFWOIF
    13,                // 1013 ERR_IFWOENDIF
    14,                // 1014 ERR_MISSINGPARAMTR
    15,                // 1015 ERR_FORWONEXT
    16,                // 1016 ERR_NEXTWOFOR
    17,                // 1017 ERR_WHILEWOWEND
    18,                // 1018 ERR_SYNTAXERROR
    19,                // 1019 ERR_WRONGDTYPE
    20,                // 1020 ERR_VARSYNTAX
    21,                // 1021 ERR_WENDWOWHILE
    22,                // 1022 ERR_UNKNOWNCMD
    23,                // 1023 ERR_MISSINGBRACKET
    24,                // 1024 ERR_VALUEEXPECTED
    25,                // 1025 ERR_OPENLIB
    26,                // 1026 ERR_VAREXPECTED
    27,                // 1027 ERR_LABINFOR
    28,                // 1028 ERR_LABINIF
    29,                // 1029 ERR_LABINWHILE
    30,                // 1030 ERR_WRONGOP
    31,                // 1031 ERR_GETDISKOBJ
    32,                // 1032 ERR_EVNTEXPCTED
    33,                // 1033 ERR_EMPTYOBJ
    34,                // 1034 ERR_EMPTYSCRIPT
    35,                // 1035 ERR_COMMENTSTRUCT
    36,                // 1036 ERR_ALRDYDECLRD
    37,                // 1037 ERR_WRONGFLOAT
    38,                // 1038 ERR_REQUIREFIELD
    39,                // 1039 ERR_OUTOFRANGE
    40,                // 1040 ERR_RETWOGOSUB
    41,                // 1041 ERR_FINDARRAY
    42,                // 1042 ERR_FINDCST
    43,                // 1043 ERR_LOCK
    44,                // 1044 ERR_LOADPICTURE
    45,                // 1045 ERR_READFILE
    46,                // 1046 ERR_NOTPROTRACKER
    47,                // 1047 ERR_UNKNOWNSEQ
    48,                // 1048 ERR_DIRLOCK
    49,                // 1049 ERR_KEYWORD
    50,                // 1050 ERR_ROMVERSION
    51,                // 1051 ERR_FREEABGPIC
    52,                // 1052 ERR_WRITEFILE
    53,                // 1053 ERR_VERSION
    54,                // 1054 ERR_NOFUNCTION
    55,                // 1055 ERR_WRONGUSAGE
    56,                // 1056 ERR_SELECTBG
    57,                // 1057 ERR_ARRAYDECLA
    58,                // 1058 ERR_CMDASVAR
    59,                // 1059 ERR_CONFIG
    60,                // 1060 ERR_ARGS
    61,                // 1061 ERR_DOUBLEDECLA
    62,                // 1062 ERR_EQUALEXPECTED
    63,                // 1063 ERR_OPENANIM
    QZ_NO_MESSAGE_ID,  // 1064 ERR_OPENFONT
    65,                // 1065 ERR_OPENSOUND
    66,                // 1066 ERR_INTERNAL
    67,                // 1067 ERR_PUBSCREEN
    68,                // 1068 ERR_BRUSHLINK
    69,                // 1069 ERR_WRONGID
    70,                // 1070 ERR_AUDIODEVICE
    71,                // 1071 ERR_VARLENGTH
    72,                // 1072 ERR_LABELDECLA
    73,                // 1073 ERR_LABELDOUBLE
    74,                // 1074 ERR_NOKEYWORDS
    75,                // 1075 ERR_NOCONSTANTS
    76,                // 1076 ERR_SEEK
    77,                // 1077 ERR_CSTDOUBLEDEF
    78,                // 1078 ERR_NOLAYERS
    79,                // 1079 ERR_LAYERSUPPORT
    80,                // 1080 ERR_UNKNOWNATTR
    81,                // 1081 ERR_LAYERRANGE
    82,                // 1082 ERR_SELECTBRUSH
    83,                // 1083 ERR_POINTERFORMAT
    84,                // 1084 ERR_CREATEDIR
    85,                // 1085 ERR_DISPLAYSIZE
    86,                // 1086 ERR_DISPLAYDESKTOP
    87,                // 1087 ERR_GFXLIBRARY
    88,                // 1088 ERR_RENDER
    89,                // 1089 ERR_ZERODIVISION
    90,                // 1090 ERR_COPROCESSOR
    91,                // 1091 ERR_UNKNOWN
    575,               // 1092 ERR_STRINGCST
    93,                // 1093 ERR_LABINFUNC
    576,               // 1094 ERR_ANIMFRAME
    577,               // 1095 ERR_REPEATWOUNTIL
    96,                // 1096 ERR_UNTILWOREPEAT
    603,               // 1097 ERR_FUNCWOENDFUNC
    578,               // 1098 ERR_ENDFUNCWOFUNC
    579,               // 1099 ERR_UNEXPECTEDSYM
    580,               // 1100 ERR_FUNCARGS
    581,               // 1101 ERR_NOLOOP
    102,               // 1102 ERR_TOKENEXPECTED
    103,               // 1103 ERR_BRACKETOPEN
    104,               // 1104 ERR_BRACKETCLOSE
    105,               // 1105 ERR_BRACEOPEN
    582,               // 1106 ERR_BRACECLOSE
    107,               // 1107 ERR_SQBRACKETOPEN
    583,               // 1108 ERR_SQBRACKETCLOSE
    584,               // 1109 ERR_NOCOMMA
    110,               // 1110 ERR_SYNTAXLEVELS
    111,               // 1111 ERR_COMPLEXWHILE
    112,               // 1112 ERR_NOCHAR
    113,               // 1113 ERR_CHRCSTLEN
    114,               // 1114 ERR_CHRCSTEMPTY
    115,               // 1115 ERR_HEXPOINT
    585,               // 1116 ERR_NUMCONCAT
    117,               // 1117 ERR_MAXLOCALS
    118,               // 1118 ERR_MAXUPVALS
    119,               // 1119 ERR_MAXPARAMS
    120,               // 1120 ERR_CONITEMS
    121,               // 1121 ERR_MAXLINES
    122,               // 1122 ERR_COMPLEXEXPR
    123,               // 1123 ERR_CTRLSTRUCT
    124,               // 1124 ERR_NOCOLON
    125,               // 1125 ERR_CASECST
    126,               // 1126 ERR_SWCHWOENDSWCH
    127,               // 1127 ERR_ENDSWCHWOSWCH
    128,               // 1128 ERR_BLKWOENDBLK
    129,               // 1129 ERR_ENDBLKWOBLK
    130,               // 1130 ERR_NUMSTRCMP
    131,               // 1131 ERR_CONCAT
    132,               // 1132 ERR_TABLEDECLA
    133,               // 1133 ERR_FUNCDECLA
    134,               // 1134 ERR_INTERNAL1
    135,               // 1135 ERR_STACK
    136,               // 1136 ERR_MEMCODE
    137,               // 1137 ERR_MEMCST
    138,               // 1138 ERR_NUMEXPECTED
    139,               // 1139 ERR_STREXPECTED
    140,               // 1140 ERR_TABEXPECTED
    141,               // 1141 ERR_READONLY
    142,               // 1142 ERR_WRITEONLY
    143,               // 1143 ERR_DELETEFILE
    144,               // 1144 ERR_EXAMINE
    145,               // 1145 ERR_RENAME
    146,               // 1146 ERR_MEMRANGE
    147,               // 1147 ERR_SELECTMASK
    148,               // 1148 ERR_MODIFYABG
    149,               // 1149 ERR_MODIFYABR
    150,               // 1150 ERR_FUNCJMP
    151,               // 1151 ERR_REVDWORD
    152,               // 1152 ERR_LOCKBMAP
    153,               // 1153 ERR_PALSCREEN
    154,               // 1154 ERR_NEGCOORDS
    155,               // 1155 ERR_NOANMLAYER
    156,               // 1156 ERR_BRUSHSIZE
    157,               // 1157 ERR_ENDWITHWOWITH
    158,               // 1158 ERR_WITHWOENDWITH
    159,               // 1159 ERR_FIELDINIT
    160,               // 1160 ERR_LABMAINBLK
    161,               // 1161 ERR_NAMEUSED
    162,               // 1162 ERR_LAYERSOFF
    163,               // 1163 ERR_LAYERSON
    164,               // 1164 ERR_NOLOOPCONT
    165,               // 1165 ERR_LOOPRANGE
    166,               // 1166 ERR_INTEXPECTED
    167,               // 1167 ERR_SELECTALPHACHANNEL
    168,               // 1168 ERR_PIXELRANGE
    169,               // 1169 ERR_DATATYPEALPHA
    170,               // 1170 ERR_NOALPHA
    171,               // 1171 ERR_PIXELFORMAT
    172,               // 1172 ERR_NOMASKBRUSH
    173,               // 1173 ERR_FOREVERWOREPEAT
    174,               // 1174 ERR_FINDBRUSH
    175,               // 1175 ERR_FINDTEXTOBJECT
    176,               // 1176 ERR_FINDANIM
    177,               // 1177 ERR_FINDBGPIC
    178,               // 1178 ERR_FINDSAMPLE
    179,               // 1179 ERR_FINDFILE
    180,               // 1180 ERR_FINDMEMBLK
    181,               // 1181 ERR_FINDTIMER
    182,               // 1182 ERR_FINDMOVE
    183,               // 1183 ERR_STRORNUM
    184,               // 1184 ERR_PERCENTFORMAT
    185,               // 1185 ERR_FUNCEXPECTED
    186,               // 1186 ERR_UNMPARENTHESES
    187,               // 1187 ERR_WRONGOPCST
    188,               // 1188 ERR_FINDBUTTON
    189,               // 1189 ERR_NUMTABLEARG
    190,               // 1190 ERR_NUMCALLBACK
    191,               // 1191 ERR_BGPICBUTTON
    192,               // 1192 ERR_WRONGHEX
    193,               // 1193 ERR_TOOMANYARGS
    586,               // 1194 ERR_FINDINTERVAL
    587,               // 1195 ERR_FINDTIMEOUT
    196,               // 1196 ERR_LOADSOUND
    197,               // 1197 ERR_STRINGEXPECTED
    198,               // 1198 ERR_UNEXPECTEDEOF
    199,               // 1199 ERR_VMMISMATCH
    200,               // 1200 ERR_BADINTEGER
    201,               // 1201 ERR_BADUPVALUES
    202,               // 1202 ERR_BADCONSTANT
    203,               // 1203 ERR_BADBYTECODE
    204,               // 1204 ERR_BADSIGNATURE
    205,               // 1205 ERR_UNKNUMFMT
    206,               // 1206 ERR_INVNEXTKEY
    207,               // 1207 ERR_TABLEOVERFLOW
    208,               // 1208 ERR_TABLEINDEX
    209,               // 1209 ERR_APPLETVERSION
    210,               // 1210 ERR_UNKNOWNSEC
    211,               // 1211 ERR_NOAPPLET
    212,               // 1212 ERR_PLAYERCOMP
    213,               // 1213 ERR_FILEEXIST
    214,               // 1214 ERR_MAGICKEY
    215,               // 1215 ERR_FINDCLIPREGION
    216,               // 1216 ERR_FUNCREMOVED
    588,               // 1217 ERR_COORDSRANGE
    218,               // 1218 ERR_BADDIMENSIONS
    219,               // 1219 ERR_FINDSPRITE
    220,               // 1220 ERR_SPRITEONSCREEN
    221,               // 1221 ERR_PREPROCSYM
    222,               // 1222 ERR_UNKNOWNTAG
    223,               // 1223 ERR_MASKNALPHA
    224,               // 1224 ERR_NOSPRITES
    225,               // 1225 ERR_WRONGCLIPREG
    226,               // 1226 ERR_NOCLIPREG
    227,               // 1227 ERR_MODIFYSPRITE
    228,               // 1228 ERR_MODIFYSPRITE2
    229,               // 1229 ERR_ENDDOUBLEBUFFER
    230,               // 1230 ERR_DBTRANSWIN
    231,               // 1231 ERR_FINDMUSIC
    232,               // 1232 ERR_MUSNOTPLYNG
    233,               // 1233 ERR_SEEKRANGE
    234,               // 1234 ERR_MIXMUSMOD
    235,               // 1235 ERR_UNKNOWNMUSFMT
    236,               // 1236 ERR_MUSFMTSUPPORT
    237,               // 1237 ERR_TABLEORNIL
    238,               // 1238 ERR_PROTMETATABLE
    QZ_NO_MESSAGE_ID,  // 1239 ERR_ERRORCALLED
    240,               // 1240 ERR_ADDTASK
    241,               // 1241 ERR_TASKSETUP
    242,               // 1242 ERR_READRANGE
    243,               // 1243 ERR_BACKFILL
    244,               // 1244 ERR_NODOUBLEBUFFER
    245,               // 1245 ERR_STRTOOSHORT
    246,               // 1246 ERR_CACHEERROR
    247,               // 1247 ERR_STRTABLEARG
    248,               // 1248 ERR_APPLET
    QZ_NO_MESSAGE_ID,  // 1249 (no such code)
    250,               // 1250 ERR_NOTADIR
    251,               // 1251 ERR_UNKTEXTFMT
    252,               // 1252 ERR_TEXTSYNTAX
    253,               // 1253 ERR_TEXTARG
    254,               // 1254 ERR_DEFFONT
    255,               // 1255 ERR_ANTIALIAS
    256,               // 1256 ERR_CREATEPORT
    257,               // 1257 ERR_NOREXX
    258,               // 1258 ERR_REXXERR
    259,               // 1259 ERR_STRCALLBACK
    260,               // 1260 ERR_PORTNOTAVAIL
    261,               // 1261 ERR_BAD8SVX
    589,               // 1262 ERR_CMPUNSUPPORTED
    263,               // 1263 ERR_BADWAVE
    264,               // 1264 ERR_MUSNOTPAUSED
    QZ_NO_MESSAGE_ID,  // 1265 ERR_CONFIG2
    266,               // 1266 ERR_EXETYPE
    267,               // 1267 ERR_OPENAUDIO
    268,               // 1268 ERR_DATATYPESAVE
    269,               // 1269 ERR_DATATYPESAVE2
    270,               // 1270 ERR_LOADFRAME
    271,               // 1271 ERR_LAYERSUPPORT2
    272,               // 1272 ERR_SHORTIF
    273,               // 1273 ERR_SYSTOOOLD
    274,               // 1274 ERR_KEYNOTFOUND
    275,               // 1275 ERR_FINDPORT
    276,               // 1276 ERR_TOOSMALL2
    277,               // 1277 ERR_SAVEPNG
    590,               // 1278 ERR_NOTIGER
    279,               // 1279 ERR_STREAMASSAMPLE
    591,               // 1280 ERR_AUDIOCONVERTER
    281,               // 1281 ERR_RENDERCALLBACK
    282,               // 1282 ERR_SETFILEATTR
    283,               // 1283 ERR_SETFILEDATE
    284,               // 1284 ERR_SETFILECOMMENT
    285,               // 1285 ERR_INVALIDDATE
    286,               // 1286 ERR_LOCK2
    604,               // 1287 ERR_THREAD
    592,               // 1288 ERR_UNSUPPORTEDFEAT
    593,               // 1289 ERR_NOCHANNEL
    290,               // 1290 ERR_CREATEEVENT
    291,               // 1291 ERR_DSOUNDNOTIFY
    292,               // 1292 ERR_DSOUNDNOTIPOS
    293,               // 1293 ERR_DSOUNDPLAY
    294,               // 1294 ERR_AFILEPROP
    295,               // 1295 ERR_DIRECTSHOW
    296,               // 1296 ERR_REGCLASS
    297,               // 1297 ERR_TIMER
    298,               // 1298 ERR_SEMAPHORE
    299,               // 1299 ERR_8OR16BITONLY
    300,               // 1300 ERR_DISPMINIMIZED
    301,               // 1301 ERR_COMMODITY
    302,               // 1302 ERR_MSGPORT
    303,               // 1303 ERR_TEXTCONVERT
    304,               // 1304 ERR_ATSUI
    305,               // 1305 ERR_LFSYNTAX
    306,               // 1306 ERR_ZLIBIO
    594,               // 1307 ERR_ZLIBSTREAM
    308,               // 1308 ERR_ZLIBVERSION
    595,               // 1309 ERR_ZLIBDATA
    310,               // 1310 ERR_PAKFORMAT
    311,               // 1311 ERR_NOTXTLAYER
    312,               // 1312 ERR_DDAUTOSCALE
    313,               // 1313 ERR_NODISLAYERS
    314,               // 1314 ERR_LOCKEDOBJ
    315,               // 1315 ERR_WRITEJPEG
    316,               // 1316 ERR_DDRECVIDEO
    317,               // 1317 ERR_WRONGCMDRECVIDEO
    318,               // 1318 ERR_FINDDIR
    319,               // 1319 ERR_MUSNOTPLYNG2
    320,               // 1320 ERR_FINDPOINTER
    321,               // 1321 ERR_POINTERIMG
    322,               // 1322 ERR_READFUNC
    323,               // 1323 ERR_BADBASE64
    324,               // 1324 ERR_NOQZFUNC
    325,               // 1325 ERR_SPRITEONSCREEN2
    326,               // 1326 ERR_FINDASYNCDRAW
    327,               // 1327 ERR_FREECURPOINTER
    328,               // 1328 ERR_READTABLE
    329,               // 1329 ERR_LAYERSWITCH
    330,               // 1330 ERR_VIDEOSTRATEGY
    331,               // 1331 ERR_WRONGVSTRATEGY
    332,               // 1332 ERR_FINDFONT
    333,               // 1333 ERR_LINKFONT
    334,               // 1334 ERR_FINDFONT2
    335,               // 1335 ERR_FONTPATH
    336,               // 1336 ERR_FONTFORMAT
    337,               // 1337 ERR_NOCOORDCST
    596,               // 1338 ERR_ANIMDISK
    597,               // 1339 ERR_SELECTANIM
    340,               // 1340 ERR_MODIFYAANIM
    341,               // 1341 ERR_FINDANIMSTREAM
    342,               // 1342 ERR_NEEDNEWOS2
    343,               // 1343 ERR_SMODEALPHA
    344,               // 1344 ERR_FINDDISPLAY
    345,               // 1345 ERR_MULTIBGPIC
    346,               // 1346 ERR_FREEADISPLAY
    347,               // 1347 ERR_CLOSEDDISPLAY
    348,               // 1348 ERR_ADDAPPICON
    349,               // 1349 ERR_SCREENSIZE
    350,               // 1350 ERR_DIFFDEPTH
    351,               // 1351 ERR_VIDRECMULTI
    352,               // 1352 ERR_VIDRECTRANS
    353,               // 1353 ERR_NEEDOSUPDATE
    354,               // 1354 ERR_SYSIMAGE
    355,               // 1355 ERR_SYSBUTTON
    356,               // 1356 ERR_OPENANIM2
    357,               // 1357 ERR_OPENSOUND2
    358,               // 1358 ERR_LOADPICTURE2
    359,               // 1359 ERR_SIGNAL
    360,               // 1360 ERR_ADDAPPWIN
    361,               // 1361 ERR_CLIPFORMAT
    362,               // 1362 ERR_SORTFUNC
    363,               // 1363 ERR_INISYNTAX
    364,               // 1364 ERR_CLIPOPEN
    365,               // 1365 ERR_CLIPREAD
    366,               // 1366 ERR_SCALEBGPIC
    367,               // 1367 ERR_SELECTBGPIC
    368,               // 1368 ERR_CLIPWRITE
    369,               // 1369 ERR_FINDLAYER
    370,               // 1370 ERR_INVINSERT
    371,               // 1371 ERR_ALREADYASYNC
    598,               // 1372 ERR_REMADLAYER
    373,               // 1373 ERR_NAMETOOLONG
    374,               // 1374 ERR_GROUPNAMEUSED
    375,               // 1375 ERR_REGISTRYREAD
    376,               // 1376 ERR_REGISTRYWRITE
    377,               // 1377 ERR_SELECTBGPIC2
    378,               // 1378 ERR_MODIFYABGPIC
    379,               // 1379 ERR_ADFWRONGDISP
    380,               // 1380 ERR_ADFFREEDISP
    381,               // 1381 ERR_SPRITELINK
    382,               // 1382 ERR_WRONGSPRITESIZE
    383,               // 1383 ERR_TRANSBRUSH
    384,               // 1384 ERR_DINPUT
    385,               // 1385 ERR_JOYSTICK
    386,               // 1386 ERR_FT2
    387,               // 1387 ERR_ICONDIMS
    388,               // 1388 ERR_BRUSHTYPE
    389,               // 1389 ERR_TFVBRUSH
    390,               // 1390 ERR_BGPICTYPE
    391,               // 1391 ERR_TFVBRUSHBGPIC
    392,               // 1392 ERR_TFVBGPICBRUSH
    393,               // 1393 ERR_FINDPATH
    394,               // 1394 ERR_EMPTYPATH
    395,               // 1395 ERR_VFONTTYPE
    396,               // 1396 ERR_VFONT
    397,               // 1397 ERR_CREATESHORTCUT
    398,               // 1398 ERR_NOACCESS
    399,               // 1399 ERR_BADPLATFORM
    400,               // 1400 ERR_NEWQZPLUGIN
    401,               // 1401 ERR_PLUGINVER
    599,               // 1402 ERR_PLUGINARCH
    403,               // 1403 ERR_IMAGEERROR
    404,               // 1404 ERR_RENDERADLAYER
    405,               // 1405 ERR_NOJOYATPORT
    QZ_NO_MESSAGE_ID,  // 1406 (no such code)
    QZ_NO_MESSAGE_ID,  // 1407 (no such code)
    QZ_NO_MESSAGE_ID,  // 1408 (no such code)
    409,               // 1409 ERR_FINDCLIENT
    600,               // 1410 ERR_SOCKET
    411,               // 1411 ERR_OPENSOCKET
    412,               // 1412 ERR_FINDSERVER
    413,               // 1413 ERR_SOCKOPT
    414,               // 1414 ERR_PEERNAME
    415,               // 1415 ERR_HOSTNAME
    416,               // 1416 ERR_UNKPROTOCOL
    417,               // 1417 ERR_BADURL
    418,               // 1418 ERR_HTTPERROR
    419,               // 1419 ERR_HTTPTE
    420,               // 1420 ERR_SENDDATA
    421,               // 1421 ERR_FTPERROR
    422,               // 1422 ERR_RECVTIMEOUT
    423,               // 1423 ERR_RECVCLOSED
    424,               // 1424 ERR_RECVUNKNOWN
    425,               // 1425 ERR_FILENOTFOUND
    426,               // 1426 ERR_FTPAUTH
    427,               // 1427 ERR_UPLOADFORBIDDEN
    428,               // 1428 ERR_SOCKNAME
    429,               // 1429 ERR_FINDUDPOBJECT
    430,               // 1430 ERR_BADIP
    431,               // 1431 ERR_XDISPLAY
    432,               // 1432 ERR_CREATEGC
    433,               // 1433 ERR_PIPE
    434,               // 1434 ERR_GTK
    435,               // 1435 ERR_NEEDCOMPOSITE
    436,               // 1436 ERR_NOARGBVISUAL
    437,               // 1437 ERR_XFIXES
    438,               // 1438 ERR_XCURSOR
    439,               // 1439 ERR_ALSAPCM
    440,               // 1440 ERR_SETENV
    441,               // 1441 ERR_UNSETENV
    442,               // 1442 ERR_XF86VIDMODEEXT
    443,               // 1443 ERR_NODISPMODES
    444,               // 1444 ERR_UNKNOWNFILTER
    445,               // 1445 ERR_NOFILTERNAME
    446,               // 1446 ERR_TABEXPECTED2
    447,               // 1447 ERR_SMPRANGE
    448,               // 1448 ERR_NOTENOUGHPIXELS
    449,               // 1449 ERR_FINDVIDEO
    450,               // 1450 ERR_LOADVIDEO
    451,               // 1451 ERR_VIDNOTPLAYING
    452,               // 1452 ERR_VIDNOTPAUSED
    453,               // 1453 ERR_COLORSPACE
    454,               // 1454 ERR_QUICKTIME
    455,               // 1455 ERR_VIDATTACHED
    456,               // 1456 ERR_FGRABVIDSTATE
    457,               // 1457 ERR_VIDEOFRAME
    458,               // 1458 ERR_VIDEOTRANS
    459,               // 1459 ERR_LOADPLUGIN
    460,               // 1460 ERR_VECGFXPLUGIN
    461,               // 1461 ERR_INVCAPIDX
    462,               // 1462 ERR_INVPATCAP
    463,               // 1463 ERR_MALFORMPAT1
    464,               // 1464 ERR_MALFORMPAT2
    465,               // 1465 ERR_UNBALANCEDPAT
    466,               // 1466 ERR_TOOMANYCAPTURES
    467,               // 1467 ERR_MISSINGOPBRACK
    468,               // 1468 ERR_UNFINISHEDCAPTURE
    469,               // 1469 ERR_TFIMAGE
    470,               // 1470 ERR_DRAWPATH
    471,               // 1471 ERR_MOBILE
    472,               // 1472 ERR_DDMOBILE
    473,               // 1473 ERR_MULDISMOBILE
    474,               // 1474 ERR_TRANSBGMOBILE
    475,               // 1475 ERR_MODIFYPSMP
    476,               // 1476 ERR_TABCALLBACK
    477,               // 1477 ERR_BADCALLBACKRET
    478,               // 1478 ERR_NOCALLBACK
    479,               // 1479 ERR_LOWFREQ
    480,               // 1480 ERR_FINDLAYERDATA
    481,               // 1481 ERR_NODIRPATTERN
    482,               // 1482 ERR_SEEKFORMAT
    483,               // 1483 ERR_PLUGINTYPE
    484,               // 1484 ERR_NOMUSICCB
    485,               // 1485 ERR_NOFMBHANDLER
    486,               // 1486 ERR_UNKNOWNIMGOUT
    487,               // 1487 ERR_SAVEIMAGE
    488,               // 1488 ERR_UNKNOWNANMOUT
    489,               // 1489 ERR_SAVEANIM
    490,               // 1490 ERR_UNKNOWNSMPOUT
    491,               // 1491 ERR_SAVESAMPLE
    492,               // 1492 ERR_UDEXPECTED
    493,               // 1493 ERR_ASSERTFAILED
    494,               // 1494 ERR_REQUIREPLUGIN
    495,               // 1495 ERR_NOABSPATH
    496,               // 1496 ERR_FINDOBJECTDATA
    497,               // 1497 ERR_HWBRUSH
    498,               // 1498 ERR_HWBRUSHFUNC
    499,               // 1499 ERR_SAVERALPHA
    500,               // 1500 ERR_VIDPAUSED
    501,               // 1501 ERR_VIDPLAYING
    502,               // 1502 ERR_PERCENTFORMATSTR
    503,               // 1503 ERR_SCRPIXFMT
    504,               // 1504 ERR_SATFREEDISP
    505,               // 1505 ERR_CREATEICON
    506,               // 1506 ERR_GETSHORTCUT
    507,               // 1507 ERR_UNKNOWNMIMETYPE
    508,               // 1508 ERR_NOMIMEVIEWER
    509,               // 1509 ERR_JAVA
    510,               // 1510 ERR_FINDACTIVITY
    511,               // 1511 ERR_BEGINREFRESH
    512,               // 1512 ERR_DBVIDEOLAYER
    513,               // 1513 ERR_VIDEOLAYER
    514,               // 1514 ERR_VIDEOLAYERDRV
    515,               // 1515 ERR_BADLAYERTYPE
    516,               // 1516 ERR_VIDSTOPPED
    517,               // 1517 ERR_VIDLAYERFUNC
    518,               // 1518 ERR_SETADAPTER
    519,               // 1519 ERR_DISPLAYADAPTERSUPPORT
    520,               // 1520 ERR_DLOPEN
    521,               // 1521 ERR_PLUGINSYMBOL
    522,               // 1522 ERR_BITMAP
    523,               // 1523 ERR_SATELLITE
    524,               // 1524 ERR_READVIDEOPIXELS
    525,               // 1525 ERR_HWDBFREEDISP
    526,               // 1526 ERR_HWBMCLOSEDISP
    527,               // 1527 ERR_INCOMPATBRUSH
    528,               // 1528 ERR_ADDSYSEVENT
    529,               // 1529 ERR_SEEKFILE
    530,               // 1530 ERR_CLOSEFILE
    531,               // 1531 ERR_FINDPLUGIN
    532,               // 1532 ERR_PLUGINDOUBLET
    533,               // 1533 ERR_APPLICATION
    534,               // 1534 ERR_NEEDAPPLICATION
    535,               // 1535 ERR_FINDAPPLICATION
    536,               // 1536 ERR_SENDMESSAGE
    537,               // 1537 ERR_FINDMENU
    538,               // 1538 ERR_MENUCOMPLEXITY
    539,               // 1539 ERR_CREATEMENU
    540,               // 1540 ERR_VISUALINFO
    541,               // 1541 ERR_SETMENU
    542,               // 1542 ERR_MENUATTACHED
    543,               // 1543 ERR_FINDMENUITEM
    544,               // 1544 ERR_NOMENU
    545,               // 1545 ERR_EMPTYMENUTREE
    546,               // 1546 ERR_TAGEXPECTED
    547,               // 1547 ERR_FULLSCREEN
    548,               // 1548 ERR_CREATEDOCKITEM
    549,               // 1549 ERR_UPDATEICON
    550,               // 1550 ERR_DOUBLEMENU
    551,               // 1551 ERR_CONTEXTMENU
    552,               // 1552 ERR_VECTORBRUSH
    553,               // 1553 ERR_NOCONTEXTMENU
    554,               // 1554 ERR_ACCELERATOR
    555,               // 1555 ERR_FINDMONITOR
    556,               // 1556 ERR_MONITORFULLSCREEN
    557,               // 1557 ERR_MONITORRANGE
    558,               // 1558 ERR_GETMONITORINFO
    559,               // 1559 ERR_SCREENMODE
    560,               // 1560 ERR_NOCOMPRESS
    561,               // 1561 ERR_GRABSCREEN
    562,               // 1562 ERR_ALLOCCHANNEL
    563,               // 1563 ERR_REQUIRETAGFMT
    564,               // 1564 ERR_ALLOCALPHA
    565,               // 1565 ERR_ALLOCMASK
    566,               // 1566 ERR_OLDAPPLET
    567,               // 1567 ERR_MUSPAUSED
    568,               // 1568 ERR_MUSPLAYING
    569,               // 1569 ERR_CONSOLEARG
    570,               // 1570 ERR_FILESIZE
    571,               // 1571 ERR_STAT
    572,               // 1572 ERR_REQAUTH
    573,               // 1573 ERR_MISSINGFIELD
    574,               // 1574 ERR_NOTRANSPARENCY
};

// Default texts, sorted by id.
const qzDefaultText qzDefaultTexts[] = {
    {0, "Out of memory!"},
    {1, "This command is not implemented yet!"},
    {2, "Function does not return a value!"},
    {3, "User abort!"},
    {4, "Unable to open screen!"},
    {5, "Could not write all characters to file!\nCheck if there is enough free space!"},
    {6, "Unterminated string!"},
    {7, "Unknown condition!"},
    {8, "Missing separator!"},
    {9, "Could not read all characters from file!\nCheck if it is read protected!"},
    {10, "Unable to open window!"},
    {11, "Else without If!"},
    {12, "EndIf without If!"},
    {13, "If without EndIf!"},
    {14, "Not enough arguments!"},
    {15, "For without Next!"},
    {16, "Next without For!"},
    {17, "While without Wend!"},
    {18, "General syntax error!"},
    {19, "Wrong data type!"},
    {20, "Syntax error in variable name!"},
    {21, "Wend without While!"},
    {22, "Unknown command!"},
    {23, "Missing bracket!"},
    {24, "Value expected!"},
    {25, "Cannot open library!"},
    {26, "Variable expected!"},
    {27, "Label inside a For loop is not allowed!"},
    {28, "Label inside an If block is not allowed!"},
    {29, "Label inside a While loop is not allowed!"},
    {30, "Wrong operator for this type!"},
    {31, "Cannot get disk object!"},
    {32, "Event expected!"},
    {33, "Object is empty!"},
    {34, "Script is empty!"},
    {35, "Comment structure is not closed!"},
    {36, "Already declared!"},
    {37, "Wrong floating point number!"},
    {38, "Required field is missing!"},
    {39, "Value is out of range!"},
    {40, "Return without Gosub!"},
    {41, "Requested object not found!"},
    {42, "Constant not found!"},
    {43, "Cannot lock file!"},
    {44, "Cannot load picture %s!"},
    {45, "Cannot read file %s !"},
    {46, "Module is not in Protracker format!"},
    {47, "Unknown sequence!"},
    {48, "Cannot lock directory!"},
    {49, "Keyword cannot be used here!"},
    {50, "Your system version is too old!"},
    {51, "Cannot free the active BGPic!"},
    {52, "Cannot write to file %s !"},
    {53, "Wrong version!"},
    {54, "Function not found!"},
    {55, "Wrong usage/parameters for this command!\nRead the documentation!"},
    {56, "This command cannot be used when SelectBGPic() is active!"},
    {57, "Array not declared!"},
    {58, "Command cannot be used as a variable!"},
    {59, "Error in configuration!"},
    {60, "Error in command line arguments!"},
    {61, "Double declaration!"},
    {62, "Equal sign expected!"},
    {63, "Cannot open anim %s!"},
    {65, "Cannot open sound file %s!"},
    {66, "Internal limit encountered! Contact the author..."},
    {67, "Cannot open public screen!"},
    {68, "Cannot link brush!"},
    {69, "Wrong identifier!"},
    {70, "Cannot open audio device!"},
    {71, "Variable name is too long!"},
    {72, "Label not declared!"},
    {73, "Label declared twice!"},
    {74, "No keywords found!"},
    {75, "No constants found!"},
    {76, "Error seeking in file!"},
    {77, "Constant defined twice!"},
    {78, "This function requires enabled layers!"},
    {79, "Layers are not supported here!"},
    {80, "Unknown attribute!"},
    {81, "Specified layer is out of range!"},
    {82, "This command cannot be used when SelectBrush() is active!"},
    {83, "Wrong pointer format!"},
    {84, "Error creating directory %s !"},
    {85, "Unable to change display size to %s !"},
    {86, "You cannot specify an initial BGPic together with DISPLAYDESKTOP!"},
    {87, "Cannot open graphics library!"},
    {88, "Error rendering!"},
    {89, "Division by zero!"},
    {90, "This function requires a math coprocessor!"},
    {91, "Unknown error code!"},
    {92, "current line"},
    {93, "Label inside a function is not allowed!"},
    {94, "OK"},
    {95, "done"},
    {96, "Until without Repeat!"},
    {97, "Opening script %s"},
    {98, "Loading animation %s"},
    {99, "Preparing display"},
    {100, "Loading background picture %s"},
    {101, "Loading brush %s"},
    {102, "Token expected!"},
    {103, "Opening bracket expected!"},
    {104, "Closing bracket expected!"},
    {105, "Opening brace expected!"},
    {106, "Loading script"},
    {107, "Opening square bracket expected!"},
    {108, "failed"},
    {109, "Loading sample %s"},
    {110, "Too many syntax levels!"},
    {111, "While condition is too complex!"},
    {112, "Character expected!"},
    {113, "Character constant is too long!"},
    {114, "Character constant is empty!"},
    {115, "Hexadecimal numbers cannot have a point!"},
    {116, "Cannot open font %s with size %ld!"},
    {117, "Too many local variables!"},
    {118, "Too many upvalues!"},
    {119, "Too many parameters!"},
    {120, "Too many items in constructor!"},
    {121, "Too many lines!"},
    {122, "Expression is too complex!"},
    {123, "Control structure is too long!"},
    {124, "Colon expected!"},
    {125, "Case needs a constant value!"},
    {126, "Switch without EndSwitch!"},
    {127, "EndSwitch without Switch!"},
    {128, "Block without EndBlock!"},
    {129, "EndBlock without Block!"},
    {130, "Attempt to compare a number with a string!"},
    {131, "Wrong data types for concatenation!"},
    {132, "Table %s not found!"},
    {133, "Function %s not found!"},
    {134, "Internal limit reached! Error code %s."},
    {135, "Stack overflow!"},
    {136, "Code size overflow!"},
    {137, "Constant table overflow!"},
    {138, "Number expected in argument %ld!"},
    {139, "String expected in argument %ld!"},
    {140, "Table expected in argument %ld!"},
    {141, "File was opened in read-only mode!"},
    {142, "File was opened in write-only mode!"},
    {143, "Could not delete file!"},
    {144, "Could not examine %s!"},
    {145, "Could not rename file!"},
    {146, "Specified offset is out of range!"},
    {147, "This command cannot be used when SelectMask() is active!"},
    {148, "Cannot modify the active BGPic!"},
    {149, "Cannot modify the active brush!"},
    {150, "Cannot jump into or out of a function!"},
    {151, "Reserved word cannot be used here!"},
    {152, "Could not lock bitmap!"},
    {153, "This function requires a palette screen!"},
    {154, "Negative coordinates are not allowed here!"},
    {155, "Specified layer is not an anim layer!"},
    {156, "Wrong brush size!"},
    {157, "EndWith without With!"},
    {158, "With without EndWith!"},
    {159, "Table field %s was not initialized!"},
    {160, "Labels are only allowed in the main block!"},
    {161, "Layer name was already assigned!"},
    {162, "Layers are disabled!"},
    {163, "Layers cannot be turned on/off while off-screen rendering is active!"},
    {164, "No loop to continue!"},
    {165, "Loop number is out of range!"},
    {166, "Integer expected!"},
    {167, "This command cannot be used when SelectAlphaChannel() is active!"},
    {168, "Pixel is out of range!"},
    {169, "Cannot load alpha channel with this datatype!"},
    {170, "Image \"%s\" does not have an alpha channel!"},
    {171, "Unsupported pixel format!"},
    {172, "Brush does not have a mask!"},
    {173, "Forever without Repeat!"},
    {174, "Could not find brush %ld!"},
    {175, "Could not find text object %ld!"},
    {176, "Could not find anim %ld!"},
    {177, "Could not find BGPic %ld!"},
    {178, "Could not find sample %ld!"},
    {179, "Could not find file handle %ld!"},
    {180, "Could not find memory block %ld!"},
    {181, "Could not find timer %ld!"},
    {182, "Could not find move queue %ld!"},
    {183, "String or number expected in argument %ld!"},
    {184, "Invalid percent format in argument %ld!"},
    {185, "Function expected in argument %ld!"},
    {186, "Unmatched parentheses!"},
    {187, "This operator cannot be used here!"},
    {188, "Could not find button %ld!"},
    {189, "Number expected in table argument \"%s\"!"},
    {190, "Callback function was expected to return a number!"},
    {191, "A BGPic needs to be active while calling button functions!"},
    {192, "Wrong hexadecimal number!"},
    {193, "Too many arguments for this function!"},
    {194, "File"},
    {195, "skipped"},
    {196, "Cannot load sound!"},
    {197, "String expected!"},
    {198, "Unexpected end of file!"},
    {199, "Virtual machine data type mismatch!"},
    {200, "Bad integer in bytecode!"},
    {201, "Bad upvalues in bytecode!"},
    {202, "Bad constant type in bytecode!"},
    {203, "Bad bytecode!"},
    {204, "Bad bytecode signature!"},
    {205, "Unknown number format in bytecode!"},
    {206, "Invalid key for table traversal!"},
    {207, "Table overflow!"},
    {208, "Table index is NaN!"},
    {209, "This applet requires at least Quarnelix %s!"},
    {210, "Unknown section in applet!"},
    {211, "File %s is not a Quarnelix applet!"},
    {212, "Applet is not compatible with this player!"},
    {213, "File %s does not exist!"},
    {214, "Wrong magic key!"},
    {215, "Could not find clip region %ld!"},
    {216, "This function has been removed!"},
    {217, "OK|Cancel"},
    {218, "Width/height values must be greater than 0!"},
    {219, "Could not find sprite %ld!"},
    {220, "Sprite %ld is not on screen!"},
    {221, "Unknown preprocessor symbol!"},
    {222, "Unknown tag!"},
    {223, "Mask and alpha channel are mutually exclusive!"},
    {224, "Please remove all sprites first!"},
    {225, "Wrong clip region!"},
    {226, "No clip region installed!"},
    {227, "Cannot modify a sprite that is on screen!"},
    {228, "Cannot modify a linked sprite!"},
    {229, "Please end double buffering first!"},
    {230, "Double buffering cannot be used with transparent windows!"},
    {231, "Could not find music %ld!"},
    {232, "Music %ld is not playing!"},
    {233, "Specified seek position is out of range!"},
    {234, "Music and modules cannot be mixed!"},
    {235, "Unknown music format!"},
    {236, "This music format is not supported!"},
    {237, "Table or Nil expected!"},
    {238, "Cannot change a protected metatable!"},
    {240, "Cannot add task!"},
    {241, "Error setting up task!"},
    {242, "Read range is out of bounds!"},
    {243, "Error setting up backfill!"},
    {244, "Double buffering is not active!"},
    {245, "Specified length exceeds string length!"},
    {246, "Image not found in cache!"},
    {247, "String expected in table argument \"%s\"!"},
    {248, "Error in applet!"},
    {250, "%s is not a directory!"},
    {251, "Text format tag after square bracket not recognized!"},
    {252, "Syntax error in text format specification!"},
    {253, "Not enough arguments to this text format tag!"},
    {254, "Cannot open default font!"},
    {255, "This font type does not support anti-aliased output!"},
    {256, "Could not create message port!"},
    {257, "Message interface is not available!"},
    {258, "Error in message interface!"},
    {259, "Callback function was expected to return a string!"},
    {260, "Message port is not available!"},
    {261, "Bad 8SVX file!"},
    {262, "Loading sprite %s"},
    {263, "Bad WAVE file!"},
    {264, "Music is not paused!"},
    {266, "Wrong executable type!"},
    {267, "Cannot open audio device!"},
    {268, "Cannot save with this datatype!"},
    {269, "Error saving with datatype!"},
    {270, "Error loading animation frame!"},
    {271, "Layers are not supported by this function!"},
    {272, "Short If cannot have more than one statement!"},
    {273, "Your operating system is too old!"},
    {274, "Key not found!"},
    {275, "Could not find port %s!"},
    {276, "Value is too small!"},
    {277, "Error saving PNG image!"},
    {278, "Loading music %s"},
    {279, "Streams cannot be used as samples!"},
    {280, "In function"},
    {281, "Error installing render callback on mixer bus!"},
    {282, "Error setting file attributes!"},
    {283, "Error setting file date!"},
    {284, "Error setting file comment!"},
    {285, "Invalid date format specification!"},
    {286, "Error locking %s!"},
    {287, "Loading applet %s"},
    {288, "Please select desired display mode!"},
    {289, "Full screen (best fit)|Windowed|Full screen (manual select)"},
    {290, "Error creating event!"},
    {291, "Error setting up sound notification!"},
    {292, "Error setting sound notification positions!"},
    {293, "Error starting sound playback!"},
    {294, "Error getting audio file properties!"},
    {295, "Error in media framework!"},
    {296, "Error registering window class!"},
    {297, "Error setting up timer function!"},
    {298, "Error allocating semaphore object!"},
    {299, "Only 8-bit and 16-bit sounds are supported!"},
    {300, "Display is minimized!"},
    {301, "Error setting up commodity!"},
    {302, "Error creating message port!"},
    {303, "Error converting text to Unicode!"},
    {304, "Error in text operation (ATSUI error)!"},
    {305, "Syntax error in linked file!"},
    {306, "A zlib IO error occurred!"},
    {307, "Cancel"},
    {308, "Invalid zlib version detected!"},
    {309, "Select applet"},
    {310, "Unknown compression format!"},
    {311, "Specified layer is not a text layer!"},
    {312, "Autoscale cannot be used together with DisplayDesktop!"},
    {313, "Layers cannot be disabled when the layer scaling engine is used!"},
    {314, "Cannot modify object while it is locked!"},
    {315, "Error writing JPEG image!"},
    {316, "DisplayDesktop cannot be used while in video recording mode!"},
    {317, "This command cannot be used while in video recording mode!"},
    {318, "Could not find directory handle %ld!"},
    {319, "Music is not playing!"},
    {320, "Could not find pointer %ld!"},
    {321, "Error creating pointer from image!"},
    {322, "Cannot find Quarnelix function at this offset!"},
    {323, "Invalid Base64 encoding!"},
    {324, "Specified function is not a user function!"},
    {325, "Sprite is not on screen!"},
    {326, "Could not find async draw object %ld!"},
    {327, "Cannot free the active pointer!"},
    {328, "Cannot find Quarnelix table at this offset!"},
    {329, "Cannot switch layer mode while async draw is active!"},
    {330, "Error setting video strategy!"},
    {331, "Wrong video strategy!"},
    {332, "Could not find the specified font!"},
    {333, "Cannot link font!"},
    {334, "Could not find font %ld!"},
    {335, "Font specification must not be a file!"},
    {336, "Unknown font format!"},
    {337, "You cannot use coordinate constants here!"},
    {338, "Yes"},
    {339, "No"},
    {340, "Attempt to modify the active anim!"},
    {341, "Could not find anim stream %ld!"},
    {342, "This function requires a newer operating system version!"},
    {343, "This scale mode cannot be used with alpha channels!"},
    {344, "Could not find display %ld!"},
    {345, "Cannot use the a single BGPic for multiple displays!"},
    {346, "Cannot free the active display!"},
    {347, "Cannot use this function while display is closed!"},
    {348, "Error adding application icon!"},
    {349, "Wrong screen size!"},
    {350, "Displays must have the same color depth!"},
    {351, "Cannot use multiple displays while in video recording mode!"},
    {352, "Transparent displays cannot be used in video recording mode!"},
    {353, "Please update your operating system!"},
    {354, "Error loading system image!"},
    {355, "Error creating system button!"},
    {356, "Anim file \"%s\" is in an unknown/unsupported format!"},
    {357, "Sound file \"%s\" is in an unknown/unsupported format!"},
    {358, "Image file \"%s\" is in an unknown/unsupported format!"},
    {359, "Error allocating signal!"},
    {360, "Error adding application window!"},
    {361, "Unknown clipboard format!"},
    {362, "Invalid order function for sorting!"},
    {363, "Syntax error in ini file!"},
    {364, "Cannot open clipboard!"},
    {365, "Error reading from clipboard!"},
    {366, "Cannot scale BGPic!"},
    {367, "This command cannot be used when SelectBGPic() is active!"},
    {368, "Error writing to clipboard!"},
    {369, "Cannot find layer \"%s\" in current BGPic!"},
    {370, "Invalid insert position specified!"},
    {371, "Specified layer already has an async draw object attached!"},
    {372, "And Action!"},
    {373, "Specified name is too long!"},
    {374, "Group name was already assigned!"},
    {375, "Error reading from registry!"},
    {376, "Error writing to registry!"},
    {377, "Cannot use the selected BGPic here!"},
    {378, "Cannot modify the active BGPic!"},
    {379, "Async draw object belongs to another display!"},
    {380, "Cannot free display before associated async draw objects have been freed!"},
    {381, "Cannot create sprite link from sprite link!"},
    {382, "Specified sprites must have the same dimensions!"},
    {383, "Cannot trim brush because it is fully transparent!"},
    {384, "Error initializing input devices!"},
    {385, "Cannot acquire joystick!"},
    {386, "Error initializing freetype2!"},
    {387, "Specified image does not match required icon dimensions (%s)!"},
    {388, "Wrong brush type!"},
    {389, "Transition effects are not supported for vector brushes!"},
    {390, "Wrong BGPic type!"},
    {391, "Cannot use a vector brush with a BGPic here!"},
    {392, "Cannot use a vector BGPic with a brush here!"},
    {393, "Could not find path %ld!"},
    {394, "Cannot draw empty path!"},
    {395, "You must use the inbuilt font engine for vector text!"},
    {396, "Error setting up vector font!"},
    {397, "Error creating shortcut!"},
    {398, "Access denied!"},
    {399, "Plugin is not for this platform!"},
    {400, "This plugin requires at least Quarnelix %s!"},
    {401, "Plugin version is not supported!"},
    {402, "Error"},
    {403, "Error loading image %s!"},
    {404, "Cannot render layer because it is attached to async draw object!"},
    {405, "No joystick found at specified game port!"},
    {409, "Could not find connection %ld!"},
    {410, "Opening font %s"},
    {411, "Could not initialize base socket interface!"},
    {412, "Could not find server %ld!"},
    {413, "Error setting socket options!"},
    {414, "Error obtaining peer name!"},
    {415, "Error obtaining host name!"},
    {416, "Unknown protocol in URL!"},
    {417, "Invalid URL specified!"},
    {418, "HTTP error %ld occurred!"},
    {419, "Unsupported HTTP transfer mode!"},
    {420, "An error occurred during data send!"},
    {421, "FTP error %ld occurred!"},
    {422, "Receive timeout reached!"},
    {423, "Remote server has closed the connection!"},
    {424, "Unknown error while receiving data!"},
    {425, "File %s not found on this server!"},
    {426, "Access denied for specified user/password!"},
    {427, "No permission to upload file to %s!"},
    {428, "Error obtaining socket name!"},
    {429, "Could not find UDP object %ld!"},
    {430, "Invalid IP specified!"},
    {431, "Cannot open display connection!"},
    {432, "Error creating graphics context!"},
    {433, "Error creating pipe!"},
    {434, "Error in user interface toolkit!"},
    {435, "This function requires a compositing window manager!"},
    {436, "No ARGB visual available!"},
    {437, "Required display extension is not available!"},
    {438, "Error creating cursor!"},
    {439, "Error opening audio device!"},
    {440, "Error setting environment variable!"},
    {441, "Error removing environment variable!"},
    {442, "Display mode extension is not available!"},
    {443, "No display modes found!"},
    {444, "Filter \"%s\" not recognized!"},
    {445, "Missing filter name in table field %s!"},
    {446, "Subtable expected in table \"%s\"!"},
    {447, "Sample range is out of bounds!"},
    {448, "Not enough pixels!"},
    {449, "Could not find video %ld!"},
    {450, "File \"%s\" not recognized as a video stream!"},
    {451, "Cannot pause video because it is not playing!"},
    {452, "Cannot resume video because it is not paused!"},
    {453, "Error creating color space!"},
    {454, "This function requires QuickTime to be installed!"},
    {455, "This functionality is not available while videos are attached to the display!"},
    {456, "Cannot grab frame while video is playing or paused!"},
    {457, "Specified video frame is out of range!"},
    {458, "Videos cannot be played on top of transparent BGPics!"},
    {459, "Error loading plugin \"%s\"!"},
    {460, "Error in vector graphics plugin!"},
    {461, "Invalid capture index!"},
    {462, "Invalid pattern capture!"},
    {463, "Malformed pattern (ends with a percent sign)!"},
    {464, "Malformed pattern (missing ']')!"},
    {465, "Unbalanced pattern!"},
    {466, "Too many captures!"},
    {467, "Missing '[' after frontier pattern!"},
    {468, "Unfinished capture!"},
    {469, "Error transforming image!"},
    {470, "Error drawing path!"},
    {471, "This function is not available on mobile devices!"},
    {472, "DisplayDesktop is not available on mobile devices!"},
    {473, "Multiple displays are not available on mobile devices!"},
    {474, "Transparent BGPics are not available on mobile devices!"},
    {475, "Cannot modify a playing sample!"},
    {476, "Callback function was expected to return a table!"},
    {477, "Callback function returned an invalid value!"},
    {478, "This command cannot be used inside a callback!"},
    {479, "Frequency is too low!"},
    {480, "Could not find layer data!"},
    {481, "Filter patterns can only be used on directories!"},
    {482, "Source file format does not support seeking!"},
    {483, "Plugin type not recognized! (%s)"},
    {484, "No music callback installed!"},
    {485, "No handler for FillMusicBuffer installed!"},
    {486, "Unknown image format specified!"},
    {487, "Error saving image!"},
    {488, "Unknown anim format specified!"},
    {489, "Error saving anim!"},
    {490, "Unknown sample format specified!"},
    {491, "Error saving sample!"},
    {492, "Userdata expected in argument %ld!"},
    {493, "Assertion failed!"},
    {494, "This program requires %s!"},
    {495, "Absolute path expected!"},
    {496, "Data item \"%s\" not found in specified object!"},
    {497, "Hardware brushes cannot be used here!"},
    {498, "This function is not available for hardware brushes!"},
    {499, "Format saver does not support alpha channel !"},
    {500, "Video is paused. Use ResumeVideo() to resume playback!"},
    {501, "Video is already playing!"},
    {502, "Invalid percent format in table argument \"%s\"!"},
    {503, "Unsupported screen pixel format!"},
    {504, "Cannot free display before attached satellites have been detached!"},
    {505, "Error creating icon!"},
    {506, "Error reading shortcut!"},
    {507, "Unknown MIME type!"},
    {508, "No viewer found for this MIME type!"},
    {509, "Error in Java interface!"},
    {510, "Could not find activity!"},
    {511, "Cannot call this command while in BeginRefresh() mode!"},
    {512, "Video object is already in use as a layer on a BGPic!"},
    {513, "Error creating video layer!"},
    {514, "Video layers are only supported by Quarnelix's platform independent video renderer!"},
    {515, "Specified layer type does not support this functionality!"},
    {516, "Video is already stopped!"},
    {517, "Use functions from layers library to change attributes of video layers!"},
    {518, "Cannot set adapter!"},
    {519, "This functionality is not available with this display adapter!"},
    {520, "Cannot load plugin: %s"},
    {521, "Error loading plugin symbol: %s"},
    {522, "Error allocating bitmap!"},
    {523, "Error attaching satellite display!"},
    {524, "Error reading pixels from hardware bitmap!"},
    {525, "Cannot free display while hardware double buffering is active!"},
    {526, "Cannot allocate hardware bitmap while display has not been realized!"},
    {527, "Incompatible brush!"},
    {528, "Error adding system event!"},
    {529, "Could not seek file!"},
    {530, "Error closing file handle!"},
    {531, "Cannot find plugin %s!"},
    {532, "Plugin %s has already been loaded!"},
    {533, "Error setting up application!"},
    {534, "This function requires a registered application!"},
    {535, "Could not find the specified application!"},
    {536, "Error sending message!"},
    {537, "Could not find menu %ld!"},
    {538, "Menu tree definition is too complex!"},
    {539, "Error creating menu!"},
    {540, "Error obtaining visual information!"},
    {541, "Error setting menu!"},
    {542, "Cannot free menu while it is still attached to a display!"},
    {543, "Cannot find menu item %s!"},
    {544, "Specified display does not have a menu attached!"},
    {545, "Empty menu trees are not allowed!"},
    {546, "Tag expected!"},
    {547, "This functionality is not supported in full screen mode!"},
    {548, "Error creating dock item!"},
    {549, "Error updating icon!"},
    {550, "Menu is already used!"},
    {551, "Error creating context menu!"},
    {552, "This function is not available for vector brushes!"},
    {553, "Application does not expose a context menu!"},
    {554, "Error setting up keyboard shortcut!"},
    {555, "Could not find monitor %ld!"},
    {556, "Monitor %ld is already in fullscreen mode!"},
    {557, "Specified monitor is out of range!"},
    {558, "Error obtaining monitor information!"},
    {559, "Error changing screen mode!"},
    {560, "Compression is not supported!"},
    {561, "Error grabbing screen pixels!"},
    {562, "Error allocating audio channel!"},
    {563, "Syntax error in plugin requirement tag!"},
    {564, "Error allocating alpha channel!"},
    {565, "Error allocating mask!"},
    {566, "This functionality is only available to applets compiled by Quarnelix %s or higher!"},
    {567, "Music is paused. Use ResumeMusic() to resume playback!"},
    {568, "Music is already playing!"},
    {569, "Invalid value for command line argument!"},
    {570, "Error determining file size!"},
    {571, "Error examining file system object!"},
    {572, "This server requires user authentification!"},
    {573, "Table field \"%s\" must be specified!"},
    {574, "Image \"%s\" does not have a transparent pen!"},
    {575, "Wrong string constant!"},
    {576, "Specified animation frame is out of range!"},
    {577, "Repeat without Until!"},
    {578, "EndFunction without Function!"},
    {579, "Unexpected symbol!"},
    {580, "Wrong function arguments!"},
    {581, "No loop to break or continue!"},
    {582, "Closing brace expected!"},
    {583, "Closing square bracket expected!"},
    {584, "Comma expected!"},
    {585, "Numbers cannot be concatenated!"},
    {586, "Could not find interval function %ld!"},
    {587, "Could not find timeout function %ld!"},
    {588, "Coordinates are out of range!"},
    {589, "Compression format is not supported!"},
    {590, "This function requires a newer operating system!"},
    {591, "Error creating an audio converter for this format!"},
    {592, "This feature is not supported on this platform!"},
    {593, "No free audio channel!"},
    {594, "A zlib stream error occurred!"},
    {595, "Invalid or incomplete deflate data (zlib)!"},
    {596, "This function cannot be used with disk-based animations!"},
    {597, "This command cannot be used when SelectAnim() is active!"},
    {598, "Cannot remove layer while it is used by an async draw object!"},
    {599, "Plugin is not for this architecture!"},
    {600, "The following network error occurred:\n%s"},
    {601, "Opening file %s"},
    {602, "Loading video %s"},
    {603, "Function without EndFunction!"},
    {604, "Error setting up thread!"},
    {698, "Loading icon %s"},
};

const size_t qzNumDefaultTexts = sizeof qzDefaultTexts / sizeof qzDefaultTexts[0];
