{
    "patcher": {
        "fileversion": 1,
        "appversion": {
            "major": 8,
            "minor": 5,
            "revision": 5,
            "architecture": "x64",
            "modernui": 1
        },
        "classnamespace": "box",
        "rect": [100.0, 100.0, 820.0, 880.0],
        "bglocked": 0,
        "openinpresentation": 0,
        "default_fontsize": 12.0,
        "default_fontface": 0,
        "default_fontname": "Arial",
        "gridonopen": 1,
        "gridsize": [15.0, 15.0],
        "gridsnaponopen": 1,
        "objectsnaponopen": 1,
        "statusbarvisible": 2,
        "toolbarvisible": 1,
        "lefttoolbarpinned": 0,
        "toptoolbarpinned": 0,
        "righttoolbarpinned": 0,
        "bottomtoolbarpinned": 0,
        "toolbars_unpinned_last_save": 0,
        "tallnewobj": 0,
        "boxanimatetime": 200,
        "enablehscroll": 1,
        "enablevscroll": 1,
        "devicewidth": 0.0,
        "description": "",
        "digest": "",
        "tags": "",
        "style": "",
        "subpatcher_template": "",
        "assistshowspatchername": 0,
        "showrootpatcherontab": 0,
        "showontab": 0,
        "boxes": [
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 14.0,
                    "id": "obj-1",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [20.0, 15.0, 560.0, 24.0],
                    "text": "tessel~ - additive synthesis: up to 100 sine partials dealt over 1 to 8 signal outlets"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-2",
                    "linecount": 4,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [20.0, 48.0, 640.0, 60.0],
                    "text": "Arguments: the number of partials (1 to 100, default 50) and of signal outlets (1 to 8, default 1). A list sets one partial: its number (an integer from 1), its frequency in Hz and, when given, its amplitude. Frequency and amplitude must be floats (440. not 440): tessel~ ignores a list whose frequency is an integer, and keeps the old amplitude when it is one."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-3",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 130.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-4",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 158.0, 100.0, 22.0],
                    "text": "set_transpo $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-5",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [392.0, 159.0, 300.0, 20.0],
                    "text": "transposition, semitones (-120 to 120)"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-6",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 192.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-7",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 220.0, 135.0, 22.0],
                    "text": "set_transpo_lfo_f $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-8",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [427.0, 221.0, 300.0, 20.0],
                    "text": "rate of the transposition LFO, Hz (0 to 10000)"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-9",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 254.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-10",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 282.0, 158.0, 22.0],
                    "text": "set_transpo_lfo_depth $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-11",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [450.0, 283.0, 300.0, 20.0],
                    "text": "its depth, semitones (-120 to 120); 0 stops it"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-12",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 316.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-13",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 344.0, 82.0, 22.0],
                    "text": "set_shift $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-14",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [374.0, 345.0, 300.0, 20.0],
                    "text": "frequency shift, Hz (-10000 to 10000), added after transposing"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-15",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 378.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-16",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 406.0, 118.0, 22.0],
                    "text": "set_shift_lfo_f $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-17",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [410.0, 407.0, 300.0, 20.0],
                    "text": "rate of the shift LFO, Hz (0 to 1000)"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-18",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [280.0, 440.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-19",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 468.0, 144.0, 22.0],
                    "text": "set_shift_lfo_depth $1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-20",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [436.0, 469.0, 300.0, 20.0],
                    "text": "its depth, Hz (-10000 to 10000); 0 stops it"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-21",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 502.0, 126.0, 22.0],
                    "text": "reset_transpo_shift"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-22",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [418.0, 503.0, 390.0, 20.0],
                    "text": "transposition, shift and both depths to 0, both LFO rates to 5 Hz"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-23",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 536.0, 40.0, 22.0],
                    "text": "reset"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-24",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [332.0, 537.0, 330.0, 20.0],
                    "text": "silences every partial"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-25",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [280.0, 576.0, 70.0, 22.0],
                    "text": "1 220. 0.5"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-26",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [360.0, 576.0, 70.0, 22.0],
                    "text": "2 330. 0.3"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-27",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [440.0, 576.0, 70.0, 22.0],
                    "text": "3 440. 0.2"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-28",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [520.0, 576.0, 70.0, 22.0],
                    "text": "3 440. 0."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-29",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [604.0, 570.0, 200.0, 33.0],
                    "text": "partial, frequency, amplitude; amplitude 0. silences it"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-30",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [15.0, 591.0, 45.0, 20.0],
                    "text": "gain"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-31",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 1,
                    "outlettype": ["signal"],
                    "patching_rect": [65.0, 590.0, 45.0, 22.0],
                    "text": "sig~ 1."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-32",
                    "maxclass": "newobj",
                    "numinlets": 3,
                    "numoutlets": 2,
                    "outlettype": ["signal", "signal"],
                    "patching_rect": [110.0, 640.0, 200.0, 22.0],
                    "text": "tessel~ 20 2"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-33",
                    "linecount": 4,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [322.0, 636.0, 420.0, 60.0],
                    "text": "Inlets: left, the gain signal and every message; middle, a transposition signal in semitones added to set_transpo; right, a frequency-shift signal in Hz added to set_shift. Without a signal at the left inlet tessel~ stays silent."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-34",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [153.0, 706.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "format": 6,
                    "id": "obj-35",
                    "maxclass": "flonum",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [346.0, 706.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-36",
                    "maxclass": "newobj",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": ["signal"],
                    "patching_rect": [110.0, 738.0, 50.0, 22.0],
                    "text": "*~ 0.25"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-37",
                    "maxclass": "newobj",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": ["signal"],
                    "patching_rect": [303.0, 738.0, 50.0, 22.0],
                    "text": "*~ 0.25"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-38",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [408.0, 707.0, 200.0, 20.0],
                    "text": "output level per channel"
                }
            },
            {
                "box": {
                    "id": "obj-39",
                    "local": 1,
                    "maxclass": "ezdac~",
                    "numinlets": 2,
                    "numoutlets": 0,
                    "patching_rect": [190.0, 796.0, 45.0, 45.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-40",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [247.0, 808.0, 260.0, 33.0],
                    "text": "click to switch audio on; the sounding partials are dealt over the outlets in turn"
                }
            }
        ],
        "lines": [
            {
                "patchline": {
                    "destination": ["obj-4", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-3", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-7", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-6", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-10", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-9", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-13", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-12", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-16", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-15", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-19", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-18", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-31", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-4", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-7", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-10", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-13", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-16", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-19", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-21", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-23", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-25", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-26", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-27", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-32", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-28", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-36", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-32", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-37", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-32", 1]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-36", 1],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-34", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-37", 1],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-35", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-39", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-36", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-39", 1],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-37", 0]
                }
            }
        ],
        "dependency_cache": [],
        "autosave": 0
    }
}
