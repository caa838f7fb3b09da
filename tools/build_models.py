"""Builds the level model "assets/models/cell.fbx", the start-screen model
"assets/models/cell_start.fbx" and the preview renders in tools/previews/.

Run headless from the project root (after tools/make_textures.py):
    blender -b --factory-startup -P tools/build_models.py
Pass "-- --no-previews" at the end to skip the renders.

Everything is written in the game's frame (Y up, metres, right-handed) and
converted to Blender's Z-up frame only where objects are created; the FBX
export converts back, so node transforms and vertices arrive in the game as
they are written here.
"""
import math
import os
import shutil
import sys

import bmesh
import bpy
from mathutils import Matrix, Quaternion, Vector

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
TEX_DIR = os.path.join(ROOT, "assets", "textures")
MODEL_DIR = os.path.join(ROOT, "assets", "models")
PREVIEW_DIR = os.path.join(ROOT, "tools", "previews")

# Blender (x, y, z) -> game (x, z, -y), and back.
TO_GAME = Matrix(((1, 0, 0, 0), (0, 0, 1, 0), (0, -1, 0, 0), (0, 0, 0, 1)))
TO_BLENDER = TO_GAME.inverted()

# ---------------------------------------------------------------------------
# Layout constants (game frame). The cell door and its frame are fixed by the
# hinge the game builds between them; the locks by their joints on the door.

DOOR_POS = Vector((2.75, 1.01, 0.8))
DOOR_HALF = Vector((0.336435, 1.93715, 0.756214)) / 2
DOOR_VISIBLE_HALF_X = 0.06  # the slab is thinner than its body so the lock faces stand proud
FRAME_POS = DOOR_POS - Vector((0.014815, -0.1025, -0.010344))
LOCK_ANCHOR_Z = (-0.386346, -0.185373, 0.016015, 0.217536)
LOCK_OFFSET = Vector((-0.074142, 0.291625, 0.084016))  # plus (0, 0, anchor z)
LOCK_HALF = Vector((0.0001, 0.092232, 0.168031)) / 2
SINK_HALF = Vector((0.564537, 1.02574, 0.564537)) / 2
CEILING_SIZE = Vector((5.0, 0.1, 5.0))
WALL3_SIZE = Vector((4.03241, 0.369721, 5.39277))

CELL_X = (-2.0, 2.6)  # interior
CELL_Z = (-2.1, 2.1)
CELL_TOP = 3.0
WALL_TOP = 3.43
WALL_T = 0.2
OPENING_Z = (0.34, 1.28)  # wall opening of the door, lined by the frame
OPENING_TOP = 2.07
# The shelf left of the door that the glasses lie on: in view from the
# player's start, and high enough that a player standing 0.8 m from it reaches
# the glasses with the focus ray (1.25 m from an eye 1.6 m high).
SHELF_TOP = 1.0
SHELF_DEPTH = 0.28
SHELF_Z = (-1.2, -0.7)

YARD_WALL_H = 2.8
GUARD_START = Vector((12.9, 1.10005, -5.23823))
# The guard's body is a box 0.85 deep (local x), 1.9 wide (y) and 1.7 high (z)
# on "Armature"; the model fills it so that what catches the player is what
# the player sees: a bar carried crosswise at the front spans the width, a
# pack on the back closes the depth. Armature space, Blender axes (-x forward).
GUARD_HALF_DEPTH, GUARD_HALF_WIDTH = 0.425, 0.95
BAR_X, BAR_Z, BAR_HALF = -GUARD_HALF_DEPTH + 0.035, 0.12, GUARD_HALF_WIDTH - 0.02
ARM_SHOULDER, ARM_ELBOW, ARM_HAND = (0, 0.24, 0.42), (-0.2, 0.29, 0.25), (-0.38, 0.32, BAR_Z)
LAB_DOOR_OPEN = Vector((21.6903, 5.5, -2.59875))
LAB_DOOR_CLOSED_Y = 3.46  # origin height when shut; the slab hangs 0.85 to 3.45 below it
EXIT_Z = (-3.4, -1.8)
END_X = 24.0

# Walkable ground outside the cell: a short passage from the door into a
# yard, the gateway into the labyrinth, the labyrinth ring (the guard's
# patrol with 1.1 m either side), its dead ends and the exit passage. The last
# field names the arm, whose colour runs as a painted band along its walls
# (a point in two rectangles takes the first one's); passage and yard have
# none, except two strips that carry the red arm's band out to the cell door
# as a guide: along the wall right of the door (the yard's north wall, in
# view through the doorway from inside the cell) and along the labyrinth's
# west wall from that corner, left past the open door, to the gateway and on
# into the red arm. The passage is open on the left back to the cell's wall,
# so the door, which swings out to that side, folds back against the wall
# instead of coming to rest across the doorway.
GATEWAY_Z = (-4.6, -2.8)  # the gateway from the yard into the labyrinth's red arm
YARD = (4.0, 11.5, -5.9, 2.0)
WALKABLE = [
    (2.8, YARD[1], 1.7, YARD[3], "red"),  # the guide along the wall right of the cell door
    (2.8, 4.1, -2.0, 2.0, None),      # passage from the cell door, open on the left
    (11.4, 11.9, GATEWAY_Z[0], GATEWAY_Z[1], "red"),  # the gateway
    (11.0, 11.5, YARD[2], YARD[3], "red"),  # the yard along the labyrinth's west wall
    (YARD[0], YARD[1], YARD[2], YARD[3], None),  # the yard before the labyrinth
    (11.8, 14.0, -6.34, -1.05, "red"),  # patrol: x = 12.9
    (11.8, 16.1, -3.25, -1.05, "orange"),  # patrol: z = -2.15
    (13.9, 16.1, -3.25, 1.1, "yellow"),    # patrol: x = 15
    (13.9, 18.55, -1.1, 1.1, "green"),    # patrol: z = 0
    (16.35, 18.55, -6.34, 1.1, "blue"),  # patrol: x = 17.4494
    (11.8, 18.55, -6.34, -4.14, "purple"),  # patrol: z = -5.23823
    (14.6, 16.0, -7.8, -6.3, "purple"),    # dead end south
    (16.6, 18.2, 1.0, 2.8, "green"),      # dead end north
    (18.5, END_X, EXIT_Z[0], EXIT_Z[1], "white"),  # exit passage through the labyrinth door
]
# Patches of tools/make_textures.py's "trim.png", left to right.
TRIM = ["red", "orange", "yellow", "green", "blue", "purple", "white", "lamp"]
TRIM_Y = (2.3, 2.62)  # the painted band, above the guard's cap and any window
# Inside the labyrinth, walls with ground on both sides are barred windows
# between these heights, so the guard can be seen coming through them; so is
# the labyrinth's west wall, from the yard.
BARS_FROM_X = 11.4
WINDOW_Y = (1.0, 2.25)
BAR_PITCH, BAR_SIZE = 0.22, 0.05  # leaves 0.17 between bars, too narrow for the player
# The plate sits in the exit passage in full view of the labyrinth door it
# opens, beyond the reach of the guard on the east leg (x <= 18.4).
PLATE_POS = Vector((19.45, 0.0, -2.6))
BEACON_POS = Vector((24.45, 0.0, -2.6))  # the goal's lamp, seen over the walls
BEACON_LAMP_Y = (7.0, 7.9)


def trim_rect(name):
    """The uv rectangle of one colour patch of the trim texture, inset so that
    mipmaps do not bleed in from the neighbours."""
    i = TRIM.index(name)
    return ((i + 0.2) / len(TRIM), 0.2, (i + 0.8) / len(TRIM), 0.8)


def arm_at(x, z):
    for a, b, c, e, arm in WALKABLE:
        if a < x < b and c < z < e:
            return arm or ""
    return None


# ---------------------------------------------------------------------------
# Mesh building in game coordinates.


class MeshData:
    """Faces in the object's local game frame, with UVs, per material slot."""

    def __init__(self, origin=Vector((0, 0, 0)), rotation=Quaternion()):
        self.origin = Vector(origin)
        self.rotation = rotation  # game-frame rotation of the object
        self.faces = []  # (slot, [local points], [uvs], smooth, [weights group or None])

    def world(self, p):
        return self.rotation @ Vector(p) + self.origin

    def quad(self, pts, normal, slot=0, uv=None, tile=1.0, uv_rect=None, group=None):
        pts = [Vector(p) for p in pts]
        n = Vector(normal)
        if (pts[1] - pts[0]).cross(pts[2] - pts[0]).dot(n) < 0:
            pts.reverse()
        if uv is None:
            uv = self.project_uv(pts, n, tile, uv_rect)
        self.faces.append((slot, pts, uv, False, group))

    def project_uv(self, pts, n_local, tile, uv_rect):
        """Box projection in world space, or the face's own rectangle mapped
        onto uv_rect (u0, v0, u1, v1) when given."""
        n = self.rotation @ n_local
        ax = max(range(3), key=lambda i: abs(n[i]))
        wp = [self.world(p) for p in pts]
        if ax == 0:
            coords = [(-p.z if n.x > 0 else p.z, p.y) for p in wp]
        elif ax == 2:
            coords = [(p.x if n.z > 0 else -p.x, p.y) for p in wp]
        else:
            coords = [(p.x, -p.z if n.y > 0 else p.z) for p in wp]
        if uv_rect is None:
            return [(c[0] / tile, c[1] / tile) for c in coords]
        us = [c[0] for c in coords]
        vs = [c[1] for c in coords]
        u0, v0, u1, v1 = uv_rect
        du = max(us) - min(us) or 1.0
        dv = max(vs) - min(vs) or 1.0
        return [(u0 + (c[0] - min(us)) / du * (u1 - u0), v0 + (c[1] - min(vs)) / dv * (v1 - v0))
                for c in coords]

    def box(self, lo, hi, slot=0, tile=1.0, uv_rect=None, face_rects=None, skip=(), group=None,
            xform=None):
        """Axis-aligned box from lo to hi (local), outward faces. face_rects maps
        a face name ('+x', '-y', ...) to its own uv rectangle. xform maps the
        corners (for boxes along a limb)."""
        x0, y0, z0 = lo
        x1, y1, z1 = hi
        f = {
            "+x": ([(x1, y0, z0), (x1, y1, z0), (x1, y1, z1), (x1, y0, z1)], (1, 0, 0)),
            "-x": ([(x0, y0, z0), (x0, y0, z1), (x0, y1, z1), (x0, y1, z0)], (-1, 0, 0)),
            "+y": ([(x0, y1, z0), (x0, y1, z1), (x1, y1, z1), (x1, y1, z0)], (0, 1, 0)),
            "-y": ([(x0, y0, z0), (x1, y0, z0), (x1, y0, z1), (x0, y0, z1)], (0, -1, 0)),
            "+z": ([(x0, y0, z1), (x1, y0, z1), (x1, y1, z1), (x0, y1, z1)], (0, 0, 1)),
            "-z": ([(x0, y0, z0), (x0, y1, z0), (x1, y1, z0), (x1, y0, z0)], (0, 0, -1)),
        }
        for name, (pts, n) in f.items():
            if name in skip:
                continue
            rect = (face_rects or {}).get(name, uv_rect)
            if xform is not None:
                uvs = self.project_uv([Vector(p) for p in pts], Vector(n), tile, rect)
                pts = [xform(Vector(p)) for p in pts]
                n = xform(Vector(n)) - xform(Vector((0, 0, 0)))
                self.quad(pts, n, slot, uv=uvs, group=group)
            else:
                self.quad(pts, n, slot, tile=tile, uv_rect=rect, group=group)

    def cylinder(self, center, radius, y0, y1, segments=20, slot=0, tile=1.0, caps=(True, True),
                 group=None):
        cx, cz = center
        ring = [(cx + radius * math.cos(2 * math.pi * i / segments),
                 cz + radius * math.sin(2 * math.pi * i / segments)) for i in range(segments)]
        circ = 2 * math.pi * radius
        for i in range(segments):
            a, b = ring[i], ring[(i + 1) % segments]
            mid = ((a[0] + b[0]) / 2 - cx, 0, (a[1] + b[1]) / 2 - cz)
            pts = [Vector((a[0], y0, a[1])), Vector((b[0], y0, b[1])),
                   Vector((b[0], y1, b[1])), Vector((a[0], y1, a[1]))]
            u0, u1 = circ * i / segments / tile, circ * (i + 1) / segments / tile
            uvs = [(u0, y0 / tile), (u1, y0 / tile), (u1, y1 / tile), (u0, y1 / tile)]
            n = Vector(mid)
            if (pts[1] - pts[0]).cross(pts[2] - pts[0]).dot(n) < 0:
                pts.reverse()
                uvs.reverse()
            self.faces.append((slot, pts, uvs, True, group))
        for cap, y, ny in ((caps[0], y0, -1), (caps[1], y1, 1)):
            if not cap:
                continue
            pts = [Vector((p[0], y, p[1])) for p in ring]
            if ny > 0:
                pts.reverse()
            uvs = [(p.x / tile, p.z / tile) for p in pts]
            self.faces.append((slot, pts, uvs, False, group))


# ---------------------------------------------------------------------------
# Texture tiling. The game clamps texture coordinates to the edge, so no face
# may run past one repeat of its texture: faces whose projected UVs span more
# than one tile are cut along the tile grid (world-aligned, so neighbouring
# faces still line up), and every piece is moved into the unit square.

UV_EPS = 1e-4


def _clip(poly, axis, value, keep_above):
    """Convex polygon [(point, (u, v))] clipped to the half-plane
    uv[axis] >= value (keep_above) or <= value."""
    def side(item):
        """1 inside, -1 outside, 0 on the line (kept by both halves)."""
        c = item[1][axis] - value
        if abs(c) < UV_EPS:
            return 0
        return 1 if (c > 0) == keep_above else -1
    out = []
    for i, cur in enumerate(poly):
        prev = poly[i - 1]
        cs, ps = side(cur), side(prev)
        if cs * ps < 0:
            t = (value - prev[1][axis]) / (cur[1][axis] - prev[1][axis])
            p = prev[0].lerp(cur[0], t)
            uv = [prev[1][0] + (cur[1][0] - prev[1][0]) * t, prev[1][1] + (cur[1][1] - prev[1][1]) * t]
            uv[axis] = value
            out.append((p, tuple(uv)))
        if cs >= 0:
            out.append(cur)
    return out


def _cuts(lo, hi):
    """Bounds of the tile-grid pieces covering lo..hi; grid lines closer
    than UV_EPS to either end do not cut."""
    bounds = [lo]
    k = math.floor(lo + UV_EPS) + 1
    while k < hi - UV_EPS:
        bounds.append(float(k))
        k += 1
    bounds.append(hi)
    return bounds


def tile_face(pts, uvs):
    """Splits a planar convex face along the integer lines of its UVs; returns
    [(points, uvs)] with every uv inside [0, 1]."""
    us = [uv[0] for uv in uvs]
    vs = [uv[1] for uv in uvs]
    pieces = []
    poly = list(zip([Vector(p) for p in pts], [tuple(uv) for uv in uvs]))
    ub, vb = _cuts(min(us), max(us)), _cuts(min(vs), max(vs))
    for i in range(len(ub) - 1):
        col = poly
        if i > 0:
            col = _clip(col, 0, ub[i], True)
        if i < len(ub) - 2:
            col = _clip(col, 0, ub[i + 1], False)
        for j in range(len(vb) - 1):
            cell = col
            if j > 0:
                cell = _clip(cell, 1, vb[j], True)
            if j < len(vb) - 2:
                cell = _clip(cell, 1, vb[j + 1], False)
            if len(cell) < 3:
                continue
            area = Vector((0, 0, 0))
            for a in range(1, len(cell) - 1):
                area += (cell[a][0] - cell[0][0]).cross(cell[a + 1][0] - cell[0][0])
            if area.length < 1e-9:
                continue
            ku = math.floor((ub[i] + ub[i + 1]) / 2)
            kv = math.floor((vb[j] + vb[j + 1]) / 2)
            pieces.append(([c[0] for c in cell],
                           [(min(max(c[1][0] - ku, 0.0), 1.0), min(max(c[1][1] - kv, 0.0), 1.0))
                            for c in cell]))
    return pieces


def make_object(name, data, materials, collection, groups=None):
    """Creates a Blender mesh object from MeshData at its game-frame pose."""
    me = bpy.data.meshes.new(name)
    bm = bmesh.new()
    uv_layer = bm.loops.layers.uv.new("UVMap")
    to_b = TO_BLENDER.to_3x3()
    vert_groups = []
    for slot, face_pts, face_uvs, smooth, group in data.faces:
        for pts, uvs in tile_face(face_pts, face_uvs):
            verts = [bm.verts.new(to_b @ p) for p in pts]
            face = bm.faces.new(verts)
            face.material_index = slot
            face.smooth = smooth
            for loop, uv in zip(face.loops, uvs):
                loop[uv_layer].uv = uv
            vert_groups.append((verts, group))
    bm.to_mesh(me)
    bm.free()
    for m in materials:
        me.materials.append(m)
    ob = bpy.data.objects.new(name, me)
    collection.objects.link(ob)
    ob.matrix_world = game_matrix(data.origin, data.rotation)
    if groups is not None:
        # vertex order in the mesh follows creation order
        index = 0
        for verts, group in vert_groups:
            ids = list(range(index, index + len(verts)))
            index += len(verts)
            if group is not None:
                vg = ob.vertex_groups.get(group) or ob.vertex_groups.new(name=group)
                vg.add(ids, 1.0, "REPLACE")
    return ob


def unlit(ob):
    """Points every normal of the object straight down, away from every lamp
    (all hang higher than the door's locks): the lamps then light none of it
    and it shows only the ambient share of its colour. The lock in focus is
    drawn with the full colour as its ambient share, so it lights up like a
    display, ten times as bright as the locks beside it."""
    me = ob.data
    me.use_auto_smooth = True
    down = (TO_BLENDER.to_3x3() @ Vector((0.0, -1.0, 0.0)))[:]
    me.normals_split_custom_set([down] * len(me.loops))
    return ob


def game_matrix(pos, rot=Quaternion()):
    """Blender world matrix of an object whose game-frame pose is given."""
    m = Matrix.Translation(Vector(pos)) @ rot.to_matrix().to_4x4()
    return TO_BLENDER @ m @ TO_GAME


# ---------------------------------------------------------------------------
# Materials: diffuse and specular textures referenced by path; diffuse colour
# set; metallic left at 0 so the exported diffuse factor stays 1.

def make_material(name, tex, spec, color=(1.0, 1.0, 1.0), roughness=0.5, specular=0.5):
    mat = bpy.data.materials.new(name)
    mat.use_nodes = True
    nodes = mat.node_tree.nodes
    links = mat.node_tree.links
    bsdf = nodes["Principled BSDF"]
    bsdf.inputs["Base Color"].default_value = (*color, 1.0)
    bsdf.inputs["Roughness"].default_value = roughness
    bsdf.inputs["Specular"].default_value = specular
    bsdf.inputs["Metallic"].default_value = 0.0
    mat.diffuse_color = (*color, 1.0)
    img = bpy.data.images.load(os.path.join(TEX_DIR, tex), check_existing=True)
    node = nodes.new("ShaderNodeTexImage")
    node.image = img
    links.new(node.outputs["Color"], bsdf.inputs["Base Color"])
    simg = bpy.data.images.load(os.path.join(TEX_DIR, spec), check_existing=True)
    simg.colorspace_settings.name = "Non-Color"
    snode = nodes.new("ShaderNodeTexImage")
    snode.image = simg
    links.new(snode.outputs["Color"], bsdf.inputs["Specular"])
    return mat


def materials():
    return {
        "brick": make_material("Brick", "brick.png", "brick_specular.png", roughness=0.75, specular=0.3),
        "concrete": make_material("Concrete", "concrete.png", "concrete_specular.png", roughness=0.7,
                                  specular=0.3),
        "ceiling": make_material("Ceiling", "ceiling.png", "ceiling_specular.png", roughness=0.75,
                                 specular=0.2),
        # the steel of sink and toilet; the game turns on its sky reflection
        "steel": make_material("Material.001", "steel.png", "steel_specular.png", roughness=0.2,
                               specular=0.8),
        "door": make_material("Door Metal", "metal_door.png", "metal_door_specular.png", roughness=0.45,
                              specular=0.6),
        "lock": make_material("Lock", "lock.png", "lock_specular.png", roughness=0.35, specular=0.7),
        "wood": make_material("Wood", "wood.png", "wood_specular.png", roughness=0.6, specular=0.3),
        "fabric": make_material("Blanket", "fabric.png", "fabric_specular.png", roughness=0.9,
                                specular=0.1),
        "blocks": make_material("Yard Wall", "blocks.png", "blocks_specular.png", roughness=0.8,
                                specular=0.2),
        "plate": make_material("Pressure Plate", "plate.png", "plate_specular.png", roughness=0.35,
                               specular=0.7),
        "goal": make_material("Exit Pad", "goal.png", "goal_specular.png", roughness=0.5, specular=0.5),
        "glasses": make_material("Glasses", "glasses.png", "glasses_specular.png", roughness=0.2,
                                 specular=0.8),
        "poster": make_material("Poster", "poster.png", "poster_specular.png", roughness=0.9,
                                specular=0.1),
        "guard": make_material("Guard", "guard.png", "guard_specular.png", roughness=0.6, specular=0.3),
        "trim": make_material("Trim", "trim.png", "trim_specular.png", roughness=0.5, specular=0.3),
    }


def add_light(name, pos, energy, color, collection):
    """A point light; the game reads colour x energy x 0.001 as intensity."""
    light = bpy.data.lights.new(name, "POINT")
    light.energy = energy
    light.color = color
    light.shadow_soft_size = 0.1
    ob = bpy.data.objects.new(name, light)
    collection.objects.link(ob)
    ob.matrix_world = game_matrix(pos)
    return ob


# ---------------------------------------------------------------------------
# The cell.

def build_cell(col, mats, floor_extent):
    # floor: one slab under the cell and, in the level, the whole yard
    x0, x1, z0, z1 = floor_extent
    d = MeshData()
    d.box((x0, -0.2, z0), (x1, 0.0, z1), tile=2.0)
    make_object("floor", d, [mats["concrete"]], col)

    d = MeshData(origin=(0.3, CELL_TOP + CEILING_SIZE.y / 2, 0.0))
    h = CEILING_SIZE / 2
    # its east end lies in the door wall's outer face: left out, it would
    # flicker against the brick seen from outside
    d.box(-h, h, tile=2.0, skip=("+x",))
    make_object("ceiling", d, [mats["ceiling"]], col)

    # "wall 3": the back wall, a box whose thin local y is the world x axis
    q = Quaternion((0, 0, 1), math.pi / 2)
    w3 = WALL3_SIZE / 2
    d = MeshData(origin=(CELL_X[0] - w3.y, 1.415, 0.0), rotation=q)
    d.box(-w3, w3, tile=1.0)
    make_object("wall 3", d, [mats["brick"]], col)

    xa, xb = CELL_X[0] - 0.37, CELL_X[1] + WALL_T
    # "wall 2" (north) and "wall 4" (south)
    for name, zl, zh in (("wall 2", CELL_Z[1], CELL_Z[1] + WALL_T), ("wall 4", CELL_Z[0] - WALL_T, CELL_Z[0])):
        zc = (zl + zh) / 2
        d = MeshData(origin=(0.3, 0.0, zc))
        d.box((xa - 0.3, -0.2, zl - zc), (xb - 0.3, WALL_TOP, zh - zc), tile=1.0)
        make_object(name, d, [mats["brick"]], col)

    # "wall 1": the door wall, with its opening
    xc = CELL_X[1] + WALL_T / 2
    d = MeshData(origin=(xc, 0.0, 0.0))
    zl, zh = CELL_Z[0] - WALL_T, CELL_Z[1] + WALL_T
    hx = WALL_T / 2
    d.box((-hx, -0.2, zl), (hx, WALL_TOP, OPENING_Z[0]), tile=1.0)
    d.box((-hx, -0.2, OPENING_Z[1]), (hx, WALL_TOP, zh), tile=1.0)
    d.box((-hx, OPENING_TOP, OPENING_Z[0]), (hx, WALL_TOP, OPENING_Z[1]), tile=1.0)
    # the wooden shelf the glasses lie on, left of the door, on two brackets;
    # part of the wall, so it stops the player like the wall does
    x0, x1 = CELL_X[1] - SHELF_DEPTH - xc, -hx
    d.box((x0, SHELF_TOP - 0.03, SHELF_Z[0]), (x1, SHELF_TOP, SHELF_Z[1]), slot=1, tile=0.5, skip=("+x",))
    for z in (SHELF_Z[0] + 0.05, SHELF_Z[1] - 0.07):
        d.box((x1 - 0.18, SHELF_TOP - 0.2, z), (x1, SHELF_TOP - 0.03, z + 0.02), slot=1, tile=0.5, skip=("+x",))
    make_object("wall 1", d, [mats["brick"], mats["wood"]], col)

    # "door frame": lining of the opening, trim on the inside face and the
    # stops that hide the swing gap (the frame never collides with the door)
    d = MeshData(origin=FRAME_POS)
    F = FRAME_POS
    xi, xo = CELL_X[1], CELL_X[1] + WALL_T

    def fbox(lo, hi):
        d.box(Vector(lo) - F, Vector(hi) - F, tile=1.0)
    lin = 0.04
    fbox((xi, 0.0, OPENING_Z[0]), (xo, OPENING_TOP, OPENING_Z[0] + lin))
    fbox((xi, 0.0, OPENING_Z[1] - lin), (xo, OPENING_TOP, OPENING_Z[1]))
    fbox((xi, OPENING_TOP - lin, OPENING_Z[0]), (xo, OPENING_TOP, OPENING_Z[1]))
    trim = 0.12
    fbox((xi - 0.03, 0.0, OPENING_Z[0] - trim + lin), (xi, OPENING_TOP + trim - lin, OPENING_Z[0] + lin))
    fbox((xi - 0.03, 0.0, OPENING_Z[1] - lin), (xi, OPENING_TOP + trim - lin, OPENING_Z[1] + trim - lin))
    fbox((xi - 0.03, OPENING_TOP - lin, OPENING_Z[0] + lin), (xi, OPENING_TOP + trim - lin, OPENING_Z[1] - lin))
    door_face = DOOR_POS.x - DOOR_VISIBLE_HALF_X
    dz0, dz1 = DOOR_POS.z - DOOR_HALF.z, DOOR_POS.z + DOOR_HALF.z
    # the side stops overlap the door's edges, except beside the locks: the
    # outer locks overhang the edges by 8 mm, and the stops keep clear of
    # them there, so every lock shows (and takes the crosshair) in full
    lock_y = DOOR_POS.y + LOCK_OFFSET.y
    clear0 = DOOR_POS.z + LOCK_ANCHOR_Z[0] + LOCK_OFFSET.z - LOCK_HALF.z - 0.004
    clear1 = DOOR_POS.z + LOCK_ANCHOR_Z[3] + LOCK_OFFSET.z + LOCK_HALF.z + 0.004
    for y0, y1, z0, z1 in ((0.0, lock_y - 0.07, dz0 + 0.003, dz1 - 0.003),
                           (lock_y - 0.07, lock_y + 0.07, clear0, clear1),
                           (lock_y + 0.07, OPENING_TOP - lin, dz0 + 0.003, dz1 - 0.003)):
        fbox((xi + 0.04, y0, OPENING_Z[0] + lin), (door_face, y1, z0))
        fbox((xi + 0.04, y0, z1), (door_face, y1, OPENING_Z[1] - lin))
    fbox((xi + 0.04, DOOR_POS.y + DOOR_HALF.y - 0.01, OPENING_Z[0] + lin),
         (door_face, OPENING_TOP - lin, OPENING_Z[1] - lin))
    make_object("door frame", d, [mats["door"]], col)

    # the door: a steel slab, thinner than its body on the inside
    d = MeshData(origin=DOOR_POS)
    hv = DOOR_VISIBLE_HALF_X
    d.box((-hv, -DOOR_HALF.y, -DOOR_HALF.z), (hv, DOOR_HALF.y, DOOR_HALF.z), tile=1.0)
    # a hatch outline and a handle on the outside
    d.box((hv, -0.05, -0.2), (hv + 0.012, 0.25, 0.2), tile=1.0)
    d.box((hv, 0.0, 0.25), (hv + 0.06, 0.04, 0.33), tile=1.0)
    make_object("door", d, [mats["door"]], col)

    # the four combination locks: plates that no lamp lights, so they look dark
    # until the one in focus lights up; their faces stand at the lock
    # origin, facing into the cell (-x), with nothing in front of them; each
    # face is exactly the lock's body, so the crosshair selects the lock
    # wherever it rests on the plate
    back = -DOOR_VISIBLE_HALF_X - LOCK_OFFSET.x  # door face in lock-local x
    for i, az in enumerate(LOCK_ANCHOR_Z):
        pos = DOOR_POS + LOCK_OFFSET + Vector((0, 0, az))
        d = MeshData(origin=pos)
        d.box((0.0, -LOCK_HALF.y, -LOCK_HALF.z), (back, LOCK_HALF.y, LOCK_HALF.z), uv_rect=(0, 0, 1, 1))
        unlit(make_object(f"lock{i + 1}", d, [mats["lock"]], col))

    # sink: a steel cabinet filling its body, with a basin and a tap
    sink_pos = Vector((-0.55, SINK_HALF.y + 0.003, CELL_Z[1] - 0.05 - SINK_HALF.z))
    d = MeshData(origin=sink_pos)
    hx, hy, hz = SINK_HALF
    top = hy
    rim = 0.07
    d.box((-hx, -hy, -hz), (hx, top - 0.14, hz), tile=0.6)
    d.box((-hx, top - 0.14, -hz), (hx, top, -hz + rim), tile=0.6)
    d.box((-hx, top - 0.14, hz - rim), (hx, top, hz), tile=0.6)
    d.box((-hx, top - 0.14, -hz + rim), (-hx + rim, top, hz - rim), tile=0.6)
    d.box((hx - rim, top - 0.14, -hz + rim), (hx, top, hz - rim), tile=0.6)
    d.box((-0.03, top, hz - 0.06), (0.03, top + 0.02, hz - 0.02), tile=0.6)
    d.box((-0.015, top - 0.02, hz - 0.14), (0.015, top + 0.0, hz - 0.03), tile=0.6)
    make_object("sink", d, [mats["steel"]], col)

    # toilet: steel pan on a plinth, with a cistern against the back wall
    tpos = Vector((CELL_X[0] + 0.38, 0.0, 1.45))
    d = MeshData(origin=tpos)
    d.box((-0.2, 0.0, -0.18), (0.16, 0.3, 0.18), tile=0.6)
    d.cylinder((0.05, 0.0), 0.22, 0.3, 0.42, segments=18, tile=0.6)
    d.box((-0.38, 0.0, -0.24), (-0.2, 0.75, 0.24), tile=0.6)
    make_object("toilet", d, [mats["steel"]], col)

    # bed: steel frame with a mattress and pillow, against the south wall
    bpos = Vector((-0.95, 0.0, CELL_Z[0] + 0.5))
    d = MeshData(origin=bpos)
    L, W = 1.0, 0.43
    for sx in (-1, 1):
        for sz in (-1, 1):
            d.box((sx * L - 0.03 * (sx + 1), 0.0, sz * W - 0.03 * (sz + 1)),
                  (sx * L - 0.03 * (sx - 1), 0.32, sz * W - 0.03 * (sz - 1)), slot=1, tile=0.5)
    d.box((-L, 0.28, -W), (L, 0.34, W), slot=1, tile=0.5)
    d.box((-L + 0.02, 0.34, -W + 0.02), (L - 0.02, 0.5, W - 0.02), slot=0, tile=1.0)
    d.box((-L + 0.06, 0.5, -W + 0.08), (-L + 0.45, 0.58, W - 0.08), slot=0, tile=0.5)
    make_object("bed", d, [mats["fabric"], mats["door"]], col)

    # chair: wooden, back to the south wall, seat facing the room
    cpos = Vector((1.3, 0.0, -1.55))
    d = MeshData(origin=cpos)
    s = 0.22
    for sx in (-1, 1):
        for sz in (-1, 1):
            d.box((sx * s - 0.02 - 0.0, 0.0, sz * s - 0.02), (sx * s + 0.02, 0.43, sz * s + 0.02), tile=0.5)
    d.box((-s - 0.02, 0.43, -s - 0.02), (s + 0.02, 0.47, s + 0.02), tile=0.5)
    for sx in (-1, 1):
        d.box((sx * s - 0.02, 0.47, -s - 0.02), (sx * s + 0.02, 0.95, -s + 0.02), tile=0.5)
    d.box((-s - 0.02, 0.72, -s - 0.02), (s + 0.02, 0.92, -s + 0.01), tile=0.5)
    make_object("chair", d, [mats["wood"]], col)

    # the glasses, lying folded on the shelf left of the door, lenses to the
    # room and temples to the wall
    gpos = Vector((CELL_X[1] - 0.15, SHELF_TOP, sum(SHELF_Z) / 2))
    d = MeshData(origin=gpos, rotation=Quaternion((0, 1, 0), -math.pi / 2))
    black, red = (0.0, 0.0, 0.5, 1.0), (0.5, 0.0, 1.0, 1.0)
    d.box((-0.085, 0.0, -0.012), (0.085, 0.014, 0.03), uv_rect=black)
    for sx in (-1, 1):
        d.box((sx * 0.042 - 0.034, 0.014, -0.008), (sx * 0.042 + 0.034, 0.02, 0.026), uv_rect=red)
        d.box((sx * 0.078 - 0.007, 0.0, -0.13), (sx * 0.078 + 0.007, 0.01, -0.012), uv_rect=black)
    make_object("glasses", d, [mats["glasses"]], col)

    # the poster on the north wall (no body of its own)
    d = MeshData(origin=(1.2, 1.55, CELL_Z[1] - 0.004))
    d.quad([(0.4, -0.4, 0), (-0.4, -0.4, 0), (-0.4, 0.4, 0), (0.4, 0.4, 0)], (0, 0, -1),
           uv=[(0, 0), (1, 0), (1, 1), (0, 1)])
    make_object("poster", d, [mats["poster"]], col)

    # a lamp cage on the ceiling
    d = MeshData(origin=(0.3, CELL_TOP, 0.0))
    d.cylinder((0.0, 0.0), 0.12, -0.12, 0.0, segments=12, tile=0.5)
    make_object("lamp", d, [mats["steel"]], col)

    add_light("light_cell", (0.3, 2.55, 0.0), 3800.0, (1.0, 0.9, 0.75), col)
    add_light("light_cell_back", (-1.3, 2.4, -0.6), 1600.0, (0.85, 0.9, 1.0), col)


# ---------------------------------------------------------------------------
# Outside: passage, yard, labyrinth, plate, gate, goal and guard.

def merge_cells(mask, x0, z0, cell):
    """Runs of set cells merged greedily into boxes (x0, x1, z0, z1)."""
    import numpy as np
    nz, nx = mask.shape
    boxes = []
    used = np.zeros_like(mask)
    for iz in range(nz):
        ix = 0
        while ix < nx:
            if not mask[iz, ix] or used[iz, ix]:
                ix += 1
                continue
            jx = ix
            while jx < nx and mask[iz, jx] and not used[iz, jx]:
                jx += 1
            jz = iz + 1
            while jz < nz and mask[jz, ix:jx].all() and not used[jz, ix:jx].any():
                jz += 1
            used[iz:jz, ix:jx] = True
            boxes.append((x0 + ix * cell, x0 + jx * cell, z0 + iz * cell, z0 + jz * cell))
            ix = jx
    return boxes


def wall_boxes(cell=0.05, thickness=0.3, window_reach=1.0):
    """Axis-aligned wall boxes around the walkable ground: every cell of a
    fine grid that is not walkable but lies within the wall thickness of a
    walkable one is solid; runs of solid cells merge into boxes. Returns the
    full walls and, apart, the labyrinth's walls with ground within
    window_reach on two opposite sides, which get windows."""
    import numpy as np
    x0, x1, z0, z1 = 2.8, END_X, -8.5, 3.5
    nx, nz = int(round((x1 - x0) / cell)), int(round((z1 - z0) / cell))
    xs = x0 + (np.arange(nx) + 0.5) * cell
    zs = z0 + (np.arange(nz) + 0.5) * cell
    walk = np.zeros((nz, nx), bool)
    for a, b, c, e, _ in WALKABLE:
        walk |= ((xs[None, :] > a) & (xs[None, :] < b) & (zs[:, None] > c) & (zs[:, None] < e))
    k = int(round(thickness / cell))
    near = np.zeros_like(walk)
    padded = np.pad(walk, k)
    for dz in range(-k, k + 1):
        for dx in range(-k, k + 1):
            near |= padded[k + dz:k + dz + nz, k + dx:k + dx + nx]
    solid = near & ~walk
    r = int(round(window_reach / cell))
    padded = np.pad(walk, r)
    seen = {}
    for name, (dz, dx) in {"-x": (0, -1), "+x": (0, 1), "-z": (-1, 0), "+z": (1, 0)}.items():
        seen[name] = np.zeros_like(walk)
        for step in range(1, r + 1):
            seen[name] |= padded[r + dz * step:r + dz * step + nz, r + dx * step:r + dx * step + nx]
    between = (seen["-x"] & seen["+x"]) | (seen["-z"] & seen["+z"])
    barred = solid & between & (xs[None, :] > BARS_FROM_X)
    return merge_cells(solid & ~barred, x0, z0, cell), merge_cells(barred, x0, z0, cell)


def barred_wall(d, box):
    """A wall whose middle is a row of bars: full below and above the window,
    bars along the wall's long side at no more than BAR_PITCH, one at each end."""
    a, b, c, e = box
    d.box((a, 0.0, c), (b, WINDOW_Y[0], e), tile=2.0)
    d.box((a, WINDOW_Y[1], c), (b, YARD_WALL_H, e), tile=2.0)
    along_x = (b - a) >= (e - c)
    lo, hi = (a, b) if along_x else (c, e)
    mid = ((c + e) / 2) if along_x else ((a + b) / 2)
    h = BAR_SIZE / 2
    n = max(1, math.ceil((hi - lo - BAR_SIZE) / BAR_PITCH))
    for i in range(n + 1):
        t = lo + h + (hi - lo - BAR_SIZE) * i / n
        if along_x:
            d.box((t - h, WINDOW_Y[0], mid - h), (t + h, WINDOW_Y[1], mid + h), tile=2.0, skip=("+y", "-y"))
        else:
            d.box((mid - h, WINDOW_Y[0], t - h), (mid + h, WINDOW_Y[1], t + h), tile=2.0, skip=("+y", "-y"))


def arm_bands(d, boxes, cell=0.05):
    """The painted band along every wall face that looks onto an arm: each
    face is walked in grid steps, and runs of one arm become one strip."""
    lift = 0.006
    for a, b, c, e in boxes:
        faces = [((a, c), (a, e), (-1, 0)), ((b, c), (b, e), (1, 0)),
                 ((a, c), (b, c), (0, -1)), ((a, e), (b, e), (0, 1))]
        for p0, p1, (nx, nz) in faces:
            length = abs(p1[0] - p0[0]) + abs(p1[1] - p0[1])
            steps = max(1, int(round(length / cell)))
            runs = []
            for i in range(steps):
                t = (i + 0.5) / steps
                x = p0[0] + (p1[0] - p0[0]) * t + nx * 1.5 * cell
                z = p0[1] + (p1[1] - p0[1]) * t + nz * 1.5 * cell
                arm = arm_at(x, z)
                if runs and runs[-1][0] == arm:
                    runs[-1][2] = i + 1
                else:
                    runs.append([arm, i, i + 1])
            for arm, i0, i1 in runs:
                if not arm:
                    continue
                q0 = [p0[j] + (p1[j] - p0[j]) * i0 / steps for j in (0, 1)]
                q1 = [p0[j] + (p1[j] - p0[j]) * i1 / steps for j in (0, 1)]
                x0, x1 = q0[0] + nx * lift, q1[0] + nx * lift
                z0, z1 = q0[1] + nz * lift, q1[1] + nz * lift
                d.quad([(x0, TRIM_Y[0], z0), (x1, TRIM_Y[0], z1), (x1, TRIM_Y[1], z1), (x0, TRIM_Y[1], z0)],
                       (nx, 0, nz), uv_rect=trim_rect(arm))


def build_outside(col, mats):
    full, barred = wall_boxes()
    d = MeshData()
    for a, b, c, e in full:
        d.box((a, 0.0, c), (b, YARD_WALL_H, e), tile=2.0)
    for box in barred:
        barred_wall(d, box)
    # the lintel over the gateway, above the band, carries the gateway's lamp
    d.box((YARD[1], TRIM_Y[1], GATEWAY_Z[0]), (11.8, YARD_WALL_H, GATEWAY_Z[1]), tile=2.0)
    make_object("labyrinth", d, [mats["blocks"]], col)
    # the gateway's lamp on the lintel: a long bar in the red of the band it
    # marks, seen across the yard (no body); amber is the goal's beacon alone
    gz = (GATEWAY_Z[0] + GATEWAY_Z[1]) / 2
    d = MeshData(origin=(YARD[1] + 0.15, YARD_WALL_H, gz))
    d.box((-0.15, 0.0, -0.7), (0.15, 0.35, 0.7), uv_rect=trim_rect("red"))
    make_object("gateway lamp", d, [mats["trim"]], col)
    # the bands are paint on the walls: no body of their own
    d = MeshData()
    arm_bands(d, full + barred)
    make_object("arm bands", d, [mats["trim"]], col)

    d = MeshData(origin=(END_X + 0.15, 0.0, -2.6))
    d.box((-0.15, 0.0, -1.1), (0.15, YARD_WALL_H, 1.1), tile=2.0)
    make_object("labyrinth_end", d, [mats["blocks"]], col)

    d = MeshData(origin=(23.2, 0.0, -2.6))
    d.box((-0.6, 0.0, -0.7), (0.6, 0.03, 0.7), uv_rect=(0, 0, 1, 1))
    make_object("labyrinth_goal", d, [mats["goal"]], col)

    # the labyrinth door: a steel slab hanging below its origin, so that at
    # its open height it leaves about 2 m of clearance
    d = MeshData(origin=(LAB_DOOR_OPEN.x, LAB_DOOR_CLOSED_Y, LAB_DOOR_OPEN.z))
    d.box((-0.1, -3.45, -0.9), (0.1, -0.85, 0.9), tile=1.0)
    make_object("labyrinth_door", d, [mats["door"]], col)
    # gate posts and beam the door rises into (no body)
    d = MeshData(origin=(LAB_DOOR_OPEN.x, 0.0, LAB_DOOR_OPEN.z))
    for sz in (-1, 1):
        d.box((-0.19, 0.0, sz * 0.8 - 0.18 + sz * 0.18), (0.19, 4.9, sz * 0.8 + 0.18 + sz * 0.18), tile=1.0)
    d.box((-0.19, 4.72, -1.16), (0.19, 4.92, 1.16), tile=1.0)
    make_object("gate", d, [mats["door"]], col)

    d = MeshData(origin=PLATE_POS)
    d.box((-0.5, 0.0, -0.7), (0.5, 0.025, 0.7), uv_rect=(0, 0, 1, 1))
    make_object("pressure_plate", d, [mats["plate"]], col)

    # the beacon behind the goal: a mast above the end wall carrying a lamp
    # box, lit from the labyrinth's side (no body)
    d = MeshData(origin=BEACON_POS)
    d.box((-0.08, 0.0, -0.08), (0.08, BEACON_LAMP_Y[0], 0.08), tile=1.0)
    d.box((-0.4, BEACON_LAMP_Y[0], -0.45), (0.4, BEACON_LAMP_Y[1], 0.45), slot=1, uv_rect=trim_rect("lamp"))
    make_object("beacon", d, [mats["door"], mats["trim"]], col)

    warm = (1.0, 0.93, 0.82)
    lights = [  # the labyrinth's lamps lean to their arm's colour
        ("light_cell_door", (3.5, 2.1, 1.25), 2000.0, warm),  # the door's outer face, shut or open
        ("light_yard_north", (6.0, 2.6, 0.6), 1100.0, warm),
        ("light_yard_south", (7.0, 2.6, -3.6), 1100.0, warm),
        ("light_gateway", (YARD[1] - 0.45, 3.0, -3.7), 2000.0, (1.0, 0.62, 0.5)),  # the lamp and the way in
        ("light_labyrinth_west", (12.9, 3.2, -3.6), 1600.0, (1.0, 0.78, 0.72)),
        ("light_labyrinth_north", (15.6, 3.2, -0.3), 1600.0, (0.8, 1.0, 0.8)),
        ("light_labyrinth_south", (15.2, 3.2, -5.4), 1600.0, (0.92, 0.8, 1.0)),
        ("light_labyrinth_east", (17.45, 3.2, -2.2), 1600.0, (0.78, 0.88, 1.0)),
        ("light_exit", (20.0, 3.0, -2.6), 1200.0, warm),
        ("light_goal", (23.2, 2.8, -2.6), 1200.0, warm),
        ("light_beacon", (23.6, 7.45, -2.6), 2600.0, (1.0, 0.85, 0.5)),
    ]
    for name, pos, energy, colour in lights:
        add_light(name, pos, energy, colour, col)


def mirror(p):
    return (p[0], -p[1], p[2])


def build_guard(col, mats):
    """The guard: one skinned mesh and its "Armature", walking in place with
    a bar held crosswise in front of him and a pack on his back, which
    together fill his body's box (see GUARD_HALF_WIDTH).
    The armature faces -x (Blender and game alike) with its own z up; the
    mesh is modelled where the guard starts, in world coordinates."""
    arm_data = bpy.data.armatures.new("Armature")
    arm = bpy.data.objects.new("Armature", arm_data)
    col.objects.link(arm)
    arm.location = (TO_BLENDER @ GUARD_START.to_4d()).to_3d()
    bpy.context.view_layer.objects.active = arm
    bpy.ops.object.mode_set(mode="EDIT")
    eb = arm_data.edit_bones
    spec = [  # name, head, tail, parent (armature space, Blender axes: -x forward, z up)
        ("hips", (0, 0, 0), (0, 0, 0.18), None),
        ("spine", (0, 0, 0.18), (0, 0, 0.45), "hips"),
        ("head", (0, 0, 0.45), (0, 0, 0.78), "spine"),
        ("upper_arm.L", ARM_SHOULDER, ARM_ELBOW, "spine"),
        ("forearm.L", ARM_ELBOW, ARM_HAND, "upper_arm.L"),
        ("upper_arm.R", mirror(ARM_SHOULDER), mirror(ARM_ELBOW), "spine"),
        ("forearm.R", mirror(ARM_ELBOW), mirror(ARM_HAND), "upper_arm.R"),
        ("thigh.L", (0, 0.11, -0.02), (0, 0.11, -0.55), "hips"),
        ("shin.L", (0, 0.11, -0.55), (0, 0.11, -1.0), "thigh.L"),
        ("thigh.R", (0, -0.11, -0.02), (0, -0.11, -0.55), "hips"),
        ("shin.R", (0, -0.11, -0.55), (0, -0.11, -1.0), "thigh.R"),
    ]
    for name, head, tail, parent in spec:
        b = eb.new(name)
        b.head, b.tail = head, tail
        if parent:
            b.parent = eb[parent]
            b.use_connect = False
    bpy.ops.object.mode_set(mode="OBJECT")

    # Mesh parts in armature space (Blender axes), converted to game axes for
    # MeshData; the mesh object itself sits at the world origin.
    origin_b = Vector(arm.location)
    to_g = TO_GAME.to_3x3()
    data = MeshData()
    U, S, B, F = (0, 0.5, 0.5, 1), (0.5, 0.5, 1, 1), (0, 0, 0.5, 0.5), (0.5, 0, 1, 0.5)

    def part(lo, hi, bone, rect, face_rect=None):
        def xf(p):
            return to_g @ (origin_b + p)
        rects = {"-x": face_rect} if face_rect else None
        data.box(lo, hi, uv_rect=rect, face_rects=rects, group=bone, xform=xf)

    def limb(head, tail, r, bone, rect):
        h, t = Vector(head), Vector(tail)
        axis = (t - h)
        length = axis.length
        rot = Vector((0, 0, -1)).rotation_difference(axis.normalized())

        def xf(p):
            return to_g @ (origin_b + h + rot @ p)
        data.box((-r, -r, -length - 0.03), (r, r, 0.03), uv_rect=rect, group=bone, xform=xf)

    part((-0.12, -0.17, -0.1), (0.12, 0.17, 0.05), "hips", U)
    part((-0.125, -0.175, 0.05), (0.125, 0.175, 0.12), "hips", B)  # belt
    part((-0.13, -0.21, 0.12), (0.13, 0.21, 0.46), "spine", U)
    part((-0.05, -0.05, 0.44), (0.05, 0.05, 0.52), "head", S)
    part((-0.1, -0.09, 0.5), (0.1, 0.09, 0.72), "head", S, face_rect=F)
    part((-0.17, -0.105, 0.71), (0.11, 0.105, 0.8), "head", U)  # cap with visor
    # the pack on his back and the bar in his hands, both carried rigidly
    part((0.13, -0.17, 0.1), (GUARD_HALF_DEPTH - 0.025, 0.17, 0.42), "spine", B)
    part((BAR_X - 0.035, -BAR_HALF, BAR_Z - 0.035), (BAR_X + 0.035, BAR_HALF, BAR_Z + 0.035), "hips", B)
    for sy in (1, -1):  # end plates make the bar's reach plain from afar
        y0, y1 = sorted((sy * BAR_HALF, sy * (BAR_HALF - 0.06)))
        part((BAR_X - 0.04, y0, BAR_Z - 0.16), (BAR_X + 0.04, y1, BAR_Z + 0.16), "hips", U)
    for side, sy in (("L", 1), ("R", -1)):
        shoulder, elbow, hand = (Vector(p) for p in (ARM_SHOULDER, ARM_ELBOW, ARM_HAND))
        shoulder.y, elbow.y, hand.y = sy * shoulder.y, sy * elbow.y, sy * hand.y
        limb(shoulder + Vector((0, 0, 0.02)), elbow, 0.055, f"upper_arm.{side}", U)
        limb(elbow, hand, 0.045, f"forearm.{side}", U)
        part((BAR_X - 0.05, sy * 0.32 - 0.05, BAR_Z - 0.05), (BAR_X + 0.05, sy * 0.32 + 0.05, BAR_Z + 0.05),
             f"forearm.{side}", S)
        limb((0, sy * 0.11, 0.0), (0, sy * 0.11, -0.55), 0.08, f"thigh.{side}", U)
        limb((0, sy * 0.11, -0.55), (0, sy * 0.11, -0.97), 0.065, f"shin.{side}", U)
        part((-0.15, sy * 0.11 - 0.065, -1.1), (0.07, sy * 0.11 + 0.065, -0.97), f"shin.{side}", B)
    guard = make_object("guard", data, [mats["guard"]], col, groups=True)
    mod = guard.modifiers.new("Armature", "ARMATURE")
    mod.object = arm
    guard.parent = arm
    guard.matrix_parent_inverse = arm.matrix_world.inverted()

    # walk cycle: 24 frames at 24 fps, frame 24 equal to frame 0
    scene = bpy.context.scene
    scene.render.fps = 24
    scene.frame_start, scene.frame_end = 0, 24
    arm.animation_data_create()
    arm.animation_data.action = bpy.data.actions.new("Walk")
    rest = {b.name: b.matrix_local.to_3x3() for b in arm_data.bones}

    def swing(name, angle):
        """Pose rotation of a bone about the armature's lateral (y) axis."""
        r = Matrix.Rotation(angle, 3, "Y")
        m = rest[name].inverted() @ r @ rest[name]
        return m.to_quaternion()

    for f in range(25):
        ph = 2 * math.pi * f / 24
        angles = {
            "thigh.L": 0.25 * math.sin(ph),
            "thigh.R": -0.25 * math.sin(ph),
            "shin.L": -(0.06 + 0.38 * max(0.0, math.cos(ph))),
            "shin.R": -(0.06 + 0.38 * max(0.0, -math.cos(ph))),
            "upper_arm.L": 0.0,  # the hands keep hold of the bar
            "upper_arm.R": 0.0,
            "forearm.L": 0.0,
            "forearm.R": 0.0,
            "spine": 0.04,
            "head": -0.04,
            "hips": 0.0,
        }
        for pb in arm.pose.bones:
            pb.rotation_mode = "QUATERNION"
            pb.rotation_quaternion = swing(pb.name, angles[pb.name])
            pb.keyframe_insert("rotation_quaternion", frame=f)
            if pb.name == "hips":
                pb.location = (0.0, 0.02 * math.cos(2 * ph), 0.0)
            else:
                pb.location = (0.0, 0.0, 0.0)
            pb.keyframe_insert("location", frame=f)
    scene.frame_set(0)
    return arm


# ---------------------------------------------------------------------------
# Export and previews.

def export(path):
    """Exports the current scene. Texture paths are written relative to the
    project root ("assets/textures/..."): the file is written there first and
    then moved into place."""
    tmp = os.path.join(ROOT, "." + os.path.basename(path))
    bpy.ops.export_scene.fbx(
        filepath=tmp, apply_unit_scale=True, apply_scale_options="FBX_SCALE_ALL",
        axis_forward="-Z", axis_up="Y", bake_space_transform=True, add_leaf_bones=False,
        use_armature_deform_only=True, bake_anim=True, path_mode="RELATIVE", embed_textures=False)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.move(tmp, path)
    print("wrote", os.path.relpath(path, ROOT))


def render_previews(shots):
    scene = bpy.context.scene
    scene.render.engine = "CYCLES"
    scene.cycles.device = "CPU"
    scene.cycles.samples = 48
    try:
        scene.cycles.use_denoising = True
        scene.cycles.denoiser = "OPENIMAGEDENOISE"
    except Exception:
        scene.cycles.use_denoising = False
    scene.render.resolution_x, scene.render.resolution_y = 800, 450
    scene.render.image_settings.file_format = "PNG"
    scene.view_settings.view_transform = "Filmic"
    scene.view_settings.exposure = -2.5
    world = bpy.data.worlds.new("Sky")
    world.use_nodes = True
    bg = world.node_tree.nodes["Background"]
    bg.inputs["Color"].default_value = (0.45, 0.6, 0.85, 1.0)
    bg.inputs["Strength"].default_value = 3.0
    scene.world = world
    os.makedirs(PREVIEW_DIR, exist_ok=True)
    cam_data = bpy.data.cameras.new("preview")
    cam_data.sensor_fit = "HORIZONTAL"
    cam = bpy.data.objects.new("preview", cam_data)
    scene.collection.objects.link(cam)
    scene.camera = cam
    for name, eye, target, fov in shots:
        cam_data.angle = math.radians(fov)
        e = (TO_BLENDER @ Vector(eye).to_4d()).to_3d()
        t = (TO_BLENDER @ Vector(target).to_4d()).to_3d()
        cam.location = e
        cam.rotation_euler = (t - e).to_track_quat("-Z", "Y").to_euler()
        scene.render.filepath = os.path.join(PREVIEW_DIR, name + ".png")
        bpy.ops.render.render(write_still=True)
        print("wrote", os.path.relpath(scene.render.filepath, ROOT))


def new_scene():
    bpy.ops.wm.read_factory_settings(use_empty=True)
    scene = bpy.context.scene
    scene.unit_settings.system = "METRIC"
    scene.unit_settings.scale_length = 1.0
    return scene


def main():
    previews = "--no-previews" not in sys.argv
    # the level
    scene = new_scene()
    mats = materials()
    build_cell(scene.collection, mats, (-2.6, END_X + 0.6, -8.6, 3.6))
    build_outside(scene.collection, mats)
    build_guard(scene.collection, mats)
    export(os.path.join(MODEL_DIR, "cell.fbx"))
    if previews:
        render_previews([
            ("level_player_start", (0.0, 1.61, 0.0), (3.0, 1.45, 0.0), 85),
            ("level_cell_corner", (-1.2, 1.7, -1.0), (1.5, 1.0, 1.6), 85),
            ("level_door_looking_out", (2.95, 1.61, 0.8), (9.0, 1.2, -1.0), 85),
            ("level_labyrinth", (9.0, 17.0, 9.5), (16.0, 0.0, -2.8), 60),
            ("level_layout", (13.4, 27.0, 7.5), (13.4, 0.0, -2.6), 62),
            ("level_from_plate", (18.8, 1.61, -2.6), (21.69, 1.45, -2.6), 85),
            ("level_labyrinth_to_goal", (12.4, 1.61, -2.4), (24.45, 5.5, -2.6), 85),
        ])
    # the start screen's cell
    scene = new_scene()
    mats = materials()
    build_cell(scene.collection, mats, (-2.6, 3.0, -2.6, 2.6))
    export(os.path.join(MODEL_DIR, "cell_start.fbx"))


main()
