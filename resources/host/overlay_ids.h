/* Resource numbers of the capture overlay and its toolbar. Plain defines:
   read by the resource compiler and by the C++ code. */
#ifndef KV_OVERLAY_IDS_H
#define KV_OVERLAY_IDS_H

#define IDD_TOOLBAR 1131
#define IDD_COLOUR_BAR 1132
#define IDD_PEN_SIZE_BAR 1133
#define IDD_TEXT_SIZE_BAR 1134

#define IDB_ARROW_TOOL 1201
#define IDB_BRUSH_TOOL 1202
#define IDB_ELLIPSE_TOOL 1203
#define IDB_CANCEL 1204
#define IDB_PEN_LARGE 1205
#define IDB_PEN_MEDIUM 1206
#define IDB_PEN_SMALL 1207
#define IDB_COMPLETE 1208
#define IDB_TEXT_TOOL 1209
#define IDB_RECTANGLE_TOOL 1210
#define IDB_SAVE 1211
#define IDB_UNDO 1212
#define IDB_MOSAIC_TOOL 1213
#define IDB_STEP_MARKER_TOOL 1214
#define IDB_HIGHLIGHTER_TOOL 1215
#define IDB_PIN 1216

/* The same pictures at 150 and 200 %: the number at 100 % plus these. */
#define IDB_AT_150 100
#define IDB_AT_200 200

#define IDB_TOOLBAR_BACK 1221
#define IDB_COLOUR_BAR_BACK 1222
#define IDB_PEN_SIZE_BAR_BACK 1223
#define IDB_TEXT_SIZE_BAR_BACK 1224

#define IDC_TOOL_CROSS 1230
#define IDC_SELECT_ARROW 1231

#endif
