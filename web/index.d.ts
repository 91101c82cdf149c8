/** Settings both ends of a stream share; packets do not describe themselves. */
export interface CodecSettings {
  /** Total bit/s as the encoder takes it: 48000 to 64000 in mono, 96000 to 128000 in stereo. */
  bitRate: number;
  /** Redundant copies of earlier frames in every packet, 0 to 4 (default 0). */
  copies?: number;
  /** Two channels, planar (default false). */
  stereo?: boolean;
}

export interface EncodedFrame {
  /** Exactly the packet's bytes. */
  packet: Uint8Array;
  /** Whether the speech detector judged the previous frame to be speech. */
  speech: boolean;
  /** Level of this frame, 0 to 254, two units per dB. */
  level: number;
}

export interface Encoder {
  /** pcm: one 20 ms frame at 48 kHz, 960 samples, or 1920 in stereo (channel 0's 960, then channel 1's). */
  encode(pcm: Int16Array): EncodedFrame;
  /** Frees the encoder's memory; it cannot be used afterwards. */
  dispose(): void;
}

export interface Decoder {
  /**
   * Takes a packet and the number of packets lost just before it; returns the
   * frames this call delivers (one packet of delay: the first call gives one
   * silent frame, a call after a gap gives the rebuilt or concealed frames too).
   */
  decode(packet: Uint8Array, lostBefore?: number): Int16Array[];
  /** Frees the decoder's memory; it cannot be used afterwards. */
  dispose(): void;
}

export function createEncoder(settings: CodecSettings): Promise<Encoder>;
export function createDecoder(settings: CodecSettings): Promise<Decoder>;
