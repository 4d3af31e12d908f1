// Shared by the page's test and its pictures: the screens they look at it on, and ArtDmx for the node.
import dgram from 'node:dgram';

// A phone held upright and a laptop's window.
export const viewports = { phone: { width: 390, height: 844 }, laptop: { width: 1280, height: 900 } };

// One ArtDmx of 512 levels (levels[0] is channel 1) for a 15-bit Port-Address, to the node on loopback.
export async function sendArtDmx(universe, levels) {
    const packet = Buffer.alloc(18 + 512);
    packet.write('Art-Net\0', 0, 'latin1');
    packet.writeUInt16LE(0x5000, 8); // OpDmx
    packet.writeUInt16BE(14, 10); // protocol version
    packet.writeUInt16LE(universe, 14); // SubUni, then Net
    packet.writeUInt16BE(512, 16);
    Buffer.from(levels).copy(packet, 18, 0, 512);
    const socket = dgram.createSocket('udp4');
    try {
        await new Promise((resolve, reject) => socket.send(packet, 6454, '127.0.0.1', (e) => (e ? reject(e) : resolve())));
    } finally {
        socket.close();
    }
}

// Levels 1 to 512 made by a rule of the channel, as an array.
export const levelsOf = (rule) => Array.from({ length: 512 }, (_, index) => rule(index + 1) & 255);
