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
        "rect": [100.0, 100.0, 800.0, 740.0],
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
                    "text": "brindle~ - the markers of AIFF, AIFC, WAVE and Sound Designer II files"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-2",
                    "linecount": 3,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [20.0, 48.0, 640.0, 47.0],
                    "text": "Each read sends the number of markers out of the right outlet, then each marker out of the left one as the message NAME TIME. The example files markers.wav, markers.aif and markers.sd2 (its markers in markers.sd2.rsrc, the resource fork) lie beside this patch."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-3",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [200.0, 115.0, 40.0, 22.0],
                    "text": "open"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-4",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [270.0, 116.0, 440.0, 20.0],
                    "text": "choose a file in a dialog (AIFF, AIFC, WAVE, Sound Designer II)"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-5",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [200.0, 153.0, 40.0, 22.0],
                    "text": "bang"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-6",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [270.0, 154.0, 440.0, 20.0],
                    "text": "the markers of the loaded file again"
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
                    "patching_rect": [200.0, 191.0, 52.0, 22.0],
                    "text": "mode 0"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-8",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [200.0, 223.0, 52.0, 22.0],
                    "text": "mode 1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-9",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [270.0, 197.0, 440.0, 33.0],
                    "text": "times in milliseconds as floats (0, the default) or in sample frames as integers (1)"
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
                    "patching_rect": [200.0, 261.0, 50.0, 22.0],
                    "text": "peak 0"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-11",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [200.0, 293.0, 50.0, 22.0],
                    "text": "peak 1"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-12",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [270.0, 267.0, 440.0, 33.0],
                    "text": "1 drops one trailing blank from AIFF and AIFC marker names; 0 (the default) keeps it"
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
                    "patching_rect": [200.0, 337.0, 110.0, 22.0],
                    "text": "open markers.wav"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-14",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [320.0, 337.0, 110.0, 22.0],
                    "text": "open markers.aif"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-15",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [440.0, 337.0, 110.0, 22.0],
                    "text": "open markers.sd2"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-16",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [562.0, 331.0, 210.0, 33.0],
                    "text": "a name is found beside this patch and along Max's search path"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-17",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["list", "int"],
                    "patching_rect": [40.0, 440.0, 260.0, 22.0],
                    "text": "brindle~"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-18",
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [312.0, 441.0, 300.0, 20.0],
                    "text": "left outlet: NAME TIME per marker; right outlet: the count"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-19",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [40.0, 510.0, 90.0, 22.0],
                    "text": "print markers"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-20",
                    "maxclass": "message",
                    "numinlets": 2,
                    "numoutlets": 1,
                    "outlettype": [""],
                    "patching_rect": [140.0, 510.0, 140.0, 22.0],
                    "text": ""
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-21",
                    "maxclass": "number",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["", "bang"],
                    "parameter_enable": 0,
                    "patching_rect": [293.0, 510.0, 50.0, 22.0]
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-22",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [360.0, 510.0, 80.0, 22.0],
                    "text": "print count"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-23",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [140.0, 540.0, 300.0, 33.0],
                    "text": "the last marker; every marker goes to the Max Console"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-29",
                    "linecount": 5,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [460.0, 540.0, 330.0, 78.0],
                    "text": "Each marker is a message named after it: route onset passes on the time of the marker onset. A patch written for the list NAME TIME should use route or unpack on the name. A name that is one of Max's keywords (bang, int, float, list, symbol, set) comes as a list, the name first."
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-24",
                    "linecount": 2,
                    "maxclass": "comment",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [210.0, 628.0, 420.0, 33.0],
                    "text": "With a file name as argument the file is loaded silently: its markers come with the first bang."
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
                    "patching_rect": [40.0, 608.0, 40.0, 22.0],
                    "text": "bang"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-26",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 2,
                    "outlettype": ["list", "int"],
                    "patching_rect": [40.0, 644.0, 150.0, 22.0],
                    "text": "brindle~ markers.aif"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-27",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [40.0, 690.0, 110.0, 22.0],
                    "text": "print aiff-marker"
                }
            },
            {
                "box": {
                    "fontname": "Arial",
                    "fontsize": 12.0,
                    "id": "obj-28",
                    "maxclass": "newobj",
                    "numinlets": 1,
                    "numoutlets": 0,
                    "patching_rect": [183.0, 690.0, 100.0, 22.0],
                    "text": "print aiff-count"
                }
            }
        ],
        "lines": [
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-3", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-5", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-7", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-8", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-10", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-11", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-13", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-14", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-17", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-15", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-20", 1],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-17", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-19", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-17", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-21", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-17", 1]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-22", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-17", 1]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-26", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-25", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-27", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-26", 0]
                }
            },
            {
                "patchline": {
                    "destination": ["obj-28", 0],
                    "disabled": 0,
                    "hidden": 0,
                    "source": ["obj-26", 1]
                }
            }
        ],
        "dependency_cache": [],
        "autosave": 0
    }
}
