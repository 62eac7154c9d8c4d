# SPDX-License-Identifier: GPL-3.0-or-later
'''The KDE Connect daemon (kdeconnectd 22.12) as python3-dbusmock plays it, on the session bus.

Parameters: devices, a list of {"id", "name", "reachable", "paired"}; by default one paired, reachable phone
"Pixel 7" with the id "a1b2c3d4_pixel".

What the application reads: deviceNames(onlyReachable, onlyPaired) -> a{ss} on org.kde.kdeconnect.daemon at
/modules/kdeconnect (with announcedName() -> s, a method there as in the daemon, not a property); a device object per device (org.kde.kdeconnect.device: name, isReachable, isTrusted, with
nameChanged); and, as in the daemon, a ping plugin object
/modules/kdeconnect/devices/<id>/ping (org.kde.kdeconnect.device.ping, sendPing(s)) only while the device is paired
and reachable.

Control, on org.kde.kdeconnect.Mock at /modules/kdeconnect: SetReachable(id, b), Rename(id, name), Pair(id, name, b),
Unpair(id), and Pings() -> a(ss): (device id, message) of every sendPing, in order. Each change is announced as the
daemon announces it: deviceVisibilityChanged (or deviceAdded, deviceRemoved), then deviceListChanged; like the
daemon, the double never sends PropertiesChanged.
'''
import dbus

from dbusmock import mockobject

BUS_NAME = 'org.kde.kdeconnect'
MAIN_OBJ = '/modules/kdeconnect'
MAIN_IFACE = 'org.kde.kdeconnect.daemon'
SYSTEM_BUS = False

DEVICE_IFACE = 'org.kde.kdeconnect.device'
PING_IFACE = 'org.kde.kdeconnect.device.ping'
MOCK_IFACE = 'org.kde.kdeconnect.Mock'


def device_path(device_id):
    return '%s/devices/%s' % (MAIN_OBJ, device_id)


def load(mock, parameters):
    mock.kdc_devices = {}
    mock.kdc_pings = []
    mock.AddMethod(MAIN_IFACE, 'deviceNames', 'bb', 'a{ss}', 'ret = self.kdc_names(args[0], args[1])')
    mock.AddMethod(MAIN_IFACE, 'announcedName', '', 's', 'ret = "corvane-test"')
    mock.AddMethod(MOCK_IFACE, 'SetReachable', 'sb', '', 'self.kdc_set_reachable(args[0], args[1])')
    mock.AddMethod(MOCK_IFACE, 'Rename', 'ss', '', 'self.kdc_rename(args[0], args[1])')
    mock.AddMethod(MOCK_IFACE, 'Pair', 'ssb', '', 'self.kdc_pair(args[0], args[1], args[2])')
    mock.AddMethod(MOCK_IFACE, 'Unpair', 's', '', 'self.kdc_unpair(args[0])')
    mock.AddMethod(MOCK_IFACE, 'Pings', '', 'a(ss)', 'ret = self.kdc_pings')
    mock.kdc_names = lambda reachable, paired: _names(mock, reachable, paired)
    mock.kdc_set_reachable = lambda device_id, on: _set_reachable(mock, device_id, on)
    mock.kdc_rename = lambda device_id, name: _rename(mock, device_id, name)
    mock.kdc_pair = lambda device_id, name, on: _pair(mock, device_id, name, on)
    mock.kdc_unpair = lambda device_id: _unpair(mock, device_id)
    devices = parameters.get('devices', [{'id': 'a1b2c3d4_pixel', 'name': 'Pixel 7', 'reachable': True, 'paired': True}])
    for device in devices:
        _add(mock, str(device['id']), str(device['name']), bool(device.get('reachable', True)),
             bool(device.get('paired', True)))


def _names(mock, only_reachable, only_paired):
    return dbus.Dictionary({device_id: device['name'] for device_id, device in mock.kdc_devices.items()
                            if (device['reachable'] or not only_reachable) and (device['paired'] or not only_paired)},
                           signature='ss')


def _add(mock, device_id, name, reachable, paired):
    mock.kdc_devices[device_id] = {'name': name, 'reachable': reachable, 'paired': paired}
    mock.AddObject(device_path(device_id), DEVICE_IFACE, {
        'name': dbus.String(name), 'isReachable': dbus.Boolean(reachable), 'isTrusted': dbus.Boolean(paired)}, [])
    _update_plugin(mock, device_id)


def _update_plugin(mock, device_id):
    device = mock.kdc_devices.get(device_id)
    path = device_path(device_id) + '/ping'
    wanted = device is not None and device['reachable'] and device['paired']
    if wanted and path not in mockobject.objects:
        mock.AddObject(path, PING_IFACE, {}, [('sendPing', 's', '', 'self.kdc_ping(args[0])')])
        mockobject.objects[path].kdc_ping = lambda message: mock.kdc_pings.append(
            dbus.Struct((device_id, message), signature='ss'))
    elif not wanted and path in mockobject.objects:
        mock.RemoveObject(path)


def _device_object(device_id):
    return mockobject.objects[device_path(device_id)]


def _announce(mock, device_id):
    mock.EmitSignal(MAIN_IFACE, 'deviceVisibilityChanged', 'sb',
                    [device_id, dbus.Boolean(mock.kdc_devices[device_id]['reachable'])])
    mock.EmitSignal(MAIN_IFACE, 'deviceListChanged', '', [])


def _set_reachable(mock, device_id, on):
    mock.kdc_devices[device_id]['reachable'] = bool(on)
    _device_object(device_id).props[DEVICE_IFACE]['isReachable'] = dbus.Boolean(on)
    _update_plugin(mock, device_id)
    _device_object(device_id).EmitSignal(DEVICE_IFACE, 'reachableChanged', 'b', [dbus.Boolean(on)])
    _announce(mock, device_id)


def _rename(mock, device_id, name):
    mock.kdc_devices[device_id]['name'] = name
    _device_object(device_id).props[DEVICE_IFACE]['name'] = dbus.String(name)
    _device_object(device_id).EmitSignal(DEVICE_IFACE, 'nameChanged', 's', [name])


def _pair(mock, device_id, name, reachable):
    if device_id in mock.kdc_devices:
        _unpair(mock, device_id)
    _add(mock, device_id, name, bool(reachable), True)
    mock.EmitSignal(MAIN_IFACE, 'deviceAdded', 's', [device_id])
    mock.EmitSignal(MAIN_IFACE, 'deviceListChanged', '', [])


def _unpair(mock, device_id):
    del mock.kdc_devices[device_id]
    _update_plugin(mock, device_id)
    mock.RemoveObject(device_path(device_id))
    mock.EmitSignal(MAIN_IFACE, 'deviceRemoved', 's', [device_id])
    mock.EmitSignal(MAIN_IFACE, 'deviceListChanged', '', [])
